#pragma once
// The main window shown and active over settings kept in the test's own temporary
// folder, with Qt's model checker watching its queue, and helpers to reach its controls.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
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
    // Every click on an action button also checks that the button springs back up.
    void click(const char* name) {
        QTest::mouseClick(get(name), Qt::LeftButton);
        const auto* button = qobject_cast<window::ActionButton*>(get(name));
        EXPECT_FALSE(button && button->value() != 0) << name << " stayed down";
    }

    TempDir dir;
    platform::QtSettingsStore settings;
    std::unique_ptr<window::Form1> form;
    std::unique_ptr<QAbstractItemModelTester> checker;
};

}  // namespace qm::test
