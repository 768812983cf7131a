#pragma once
// The main window shown and active over settings kept in the test's own temporary
// folder, with Qt's model checker watching its queue, and helpers to reach its controls.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <string>

#include "platform/qt_queue_model.h"
#include "platform/qt_settings_store.h"
#include "support/modal_answerer.h"
#include "support/temp_dir.h"
#include "window/form1.h"

// Qt text in test failures, as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace qm::test {

using platform::Pointer;

// A dialog step: records a message box's text, checks it is shown as plain text, presses OK.
inline ModalAnswerer::Step answerBox(std::vector<std::string>& texts) {
    return [&texts](QWidget* dialog) {
        const auto* box = qobject_cast<QMessageBox*>(dialog);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);  // markup in a file name is not rendered
        texts.push_back(box->text().toStdString());
        static_cast<QDialog*>(dialog)->accept();
    };
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        useSettingsFolder(dir.path());
        open();
    }
    static void useSettingsFolder(const std::filesystem::path& folder) {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QFile::decodeName(folder.c_str()));
    }
    void open() {  // a new main window in place of the current one
        close();
        form = std::make_unique<window::Form1>(settings, dir.path());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        checker = std::make_unique<QAbstractItemModelTester>(
            &queue(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void close() {
        checker.reset();
        form.reset();
    }
    template <typename T = QWidget>
    T* get(const char* name) const {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
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
        QTest::mouseMove(name ? get(name) : form.get(),
                         name ? get(name)->rect().center() : QPoint(140, 130));
        return form->windowPort().pointer();
    }
    // The arrow is back once a run has ended; thousands of files on a busy machine take seconds.
    bool runEnded() const {
        return QTest::qWaitFor([this] { return form->windowPort().pointer() == Pointer::Arrow; },
                               60'000);
    }

    // Clicks button and answers its file or folder dialog: notes how it is set up, types each of
    // typed into its name box and presses Return, noting the filter shown after each (nothing
    // typed: cancels it). Then answers each question box with the next of answers.
    void importThrough(const char* button, const QStringList& typed,
                       const std::vector<QMessageBox::StandardButton>& answers = {}) {
        dialogSetup.clear();
        filters.clear();
        std::vector<ModalAnswerer::Step> steps{[this, typed](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            const bool qts = dialog->testOption(QFileDialog::DontUseNativeDialog);
            dialogSetup << dialog->windowTitle() << (qts && dialog->isModal() ? "Qt's" : "other");
            for (const char* view : {"listView", "treeView", "sidebar"}) {
                const auto mode = dialog->findChild<QAbstractItemView*>(view)->selectionMode();
                dialogSetup << (mode == QAbstractItemView::ExtendedSelection ? "many" : "one");
            }
            const bool folders = dialog->fileMode() == QFileDialog::Directory &&
                                 dialog->testOption(QFileDialog::ShowDirsOnly);
            dialogSetup << (folders ? "folders" : "files") << dialog->nameFilters();
            if (typed.isEmpty())
                return dialog->reject();
            QWidget* box = QApplication::focusWidget();  // the name box has the focus
            for (const QString& text : typed) {
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, text);
                QTest::keyClick(box, Qt::Key_Return);
                filters << (dialog->isVisible() ? dialog->selectedNameFilter() : "closed");
            }
        }};
        for (auto answer : answers) {
            steps.push_back([this, answer](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->standardButtons(),
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                asked << box->windowTitle() + "|" + box->text();
                box->button(answer)->click();
            });
        }
        ModalAnswerer answerer(steps);
        click(button);
        EXPECT_EQ(answerer.answered(), steps.size());  // and no other box showed
        EXPECT_FALSE(answerer.timedOut());
    }

    TempDir dir;
    platform::QtSettingsStore settings;
    std::unique_ptr<window::Form1> form;
    std::unique_ptr<QAbstractItemModelTester> checker;
    QStringList dialogSetup, filters, asked;  // noted by importThrough
};

}  // namespace qm::test
