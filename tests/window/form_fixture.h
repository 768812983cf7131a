#pragma once
// The main window shown and active over settings kept in a temporary folder, helpers to
// reach its controls by name, and steps that answer its dialogs.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
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

namespace qm::test {

inline QString local(const std::filesystem::path& p) {
    return QString::fromStdString(p.native());
}

// A dialog step: records a message box's text and presses OK.
inline ModalAnswerer::Step answerBox(std::vector<std::string>& texts) {
    return [&texts](QWidget* dialog) {
        texts.push_back(qobject_cast<QMessageBox*>(dialog)->text().toStdString());
        static_cast<QDialog*>(dialog)->accept();
    };
}

// A file dialog step: types into the name box and presses Return, as a user does.
inline ModalAnswerer::Step typeIntoNameBox(const QString& text) {
    return [text](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

class FormTest : public ::testing::Test {
protected:
    // Each test keeps its settings in its own folder.
    void SetUp() override {
        useSettingsFolder(dir.path());
        open(settings);
    }
    static void useSettingsFolder(const std::filesystem::path& folder) {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QFile::decodeName(folder.c_str()));
    }
    // Opens a new main window in place of the current one; Qt's model checker
    // watches its queue throughout.
    void open(platform::SettingsStore& store) {
        close();
        form = std::make_unique<window::Form1>(store, dir.path());
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
    void click(const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); }

    TempDir dir;
    platform::QtSettingsStore settings;
    std::unique_ptr<window::Form1> form;
    std::unique_ptr<QAbstractItemModelTester> checker;
};

}  // namespace qm::test
