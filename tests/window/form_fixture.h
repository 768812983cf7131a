#pragma once
// The main window shown and active over settings kept in the test's own temporary folder, with
// Qt's model checker watching its queue, and helpers to reach its controls and answer its dialogs.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QTest>

#include "platform/qt_settings_store.h"
#include "support/modal_answerer.h"
#include "support/file_checks.h"
#include "window/form1.h"

// Qt text in test failures, as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace qm::test {

using platform::Pointer;

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The option's file, and Qt's own (the file dialog's history), in the test's folder.
        for (auto format : {QSettings::IniFormat, QSettings::NativeFormat})
            QSettings::setPath(format, QSettings::UserScope, local(dir.path()));
        open();
    }
    static QString local(const std::filesystem::path& p) { return QFile::decodeName(p.c_str()); }
    void open() {  // a new main window in place of the current one
        checker.reset();
        form = std::make_unique<window::Form1>(settings, dir.path());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        checker = std::make_unique<QAbstractItemModelTester>(
            &queue(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    template <typename T = QWidget>
    T* get(const char* name) const {  // a control the window must have
        return form->findChild<T*>(name);
    }
    platform::QueueModel& queue() const {
        return *qobject_cast<platform::QueueModel*>(get<QTreeView>("ListView1")->model());
    }
    QStringList column(int c) const {  // as the list shows it
        QStringList out;
        for (int r = 0; r < queue().rowCount(); ++r) out << queue().index(r, c).data().toString();
        return out;
    }
    // Every click on an action button also checks that the button springs back up.
    void click(const char* name) {
        QTest::mouseClick(get(name), Qt::LeftButton);
        const auto* button = qobject_cast<window::ActionButton*>(get(name));
        EXPECT_FALSE(button && button->value() != 0) << name << " stayed down";
    }
    Pointer moveTo(const char* name) {  // nullptr: the bare window
        QTest::mouseMove(name ? get(name) : form.get(), name ? QPoint() : QPoint(140, 130));
        return form->windowPort().pointer();
    }
    // The arrow is back once a run has ended; thousands of files on a busy machine take seconds.
    bool runEnded() const {
        return QTest::qWaitFor([this] { return form->windowPort().pointer() == Pointer::Arrow; },
                               60'000);
    }

    // A dialog step: notes a message box's title and text, which must be plain (markup in a file
    // name is not rendered), and presses button.
    ModalAnswerer::Step answer(QMessageBox::StandardButton button = QMessageBox::Ok) {
        return [this, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box->button(button), nullptr);
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            noted << box->windowTitle() + "|" + box->text();
            box->button(button)->click();
        };
    }
    // Clicks button and answers its file or folder dialog, Qt's own and modal: notes its title,
    // filters and how many rows each of its views picks; types each of typed into its name box
    // and presses Return, noting the filter then shown (nothing typed: cancels it). Then answers
    // each question box with the next of answers.
    void importThrough(const char* button, const QStringList& typed,
                       const std::vector<QMessageBox::StandardButton>& answers = {}) {
        noted.clear();
        std::vector<ModalAnswerer::Step> steps{[this, typed](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr);
            EXPECT_TRUE(d->testOption(QFileDialog::DontUseNativeDialog) && d->isModal());
            // Folders alone show in a folder dialog.
            EXPECT_EQ(d->testOption(QFileDialog::ShowDirsOnly),
                      d->fileMode() == QFileDialog::Directory);
            noted << d->windowTitle() << d->nameFilters();
            // The selection mode of each view: 3 picks several rows, 1 picks one.
            for (const char* view : {"listView", "treeView", "sidebar"})
                noted << QString::number(d->findChild<QAbstractItemView*>(view)->selectionMode());
            if (typed.isEmpty())
                d->reject();
            for (const QString& text : typed) {
                QWidget* box = QApplication::focusWidget();  // the name box has the focus
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, text);
                QTest::keyClick(box, Qt::Key_Return);
                noted << (d->isVisible() ? d->selectedNameFilter() : "closed");
            }
        }};
        for (auto each : answers) steps.push_back(answer(each));
        ModalAnswerer answerer(steps);
        click(button);
        EXPECT_EQ(answerer.answered(), steps.size());  // and no other box showed
    }

    TempDir dir;
    platform::QtSettingsStore settings;
    std::unique_ptr<window::Form1> form;
    std::unique_ptr<QAbstractItemModelTester> checker;
    QStringList noted;  // by the dialog steps
};

}  // namespace qm::test
