#pragma once
// The main window shown and active over an in-memory settings store, and
// helpers to reach its controls by name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTreeView>
#include <map>
#include <memory>
#include <string>

#include "platform/qt_queue_model.h"
#include "support/temp_dir.h"
#include "window/form1.h"

namespace qm::test {

class MemorySettings : public platform::SettingsStore {
public:
    std::map<std::string, std::string, std::less<>> values;  // "section/key" -> text
    std::string read(std::string_view section, std::string_view key) const override {
        const auto it = values.find(std::string(section) + "/" + std::string(key));
        return it == values.end() ? std::string() : it->second;
    }
    void write(std::string_view section, std::string_view key, std::string_view text) override {
        values[std::string(section) + "/" + std::string(key)] = text;
    }
};

template <typename T = QWidget>
T* control(const QWidget& form, const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

inline platform::QueueModel& queueOf(const QWidget& form) {
    return *qobject_cast<platform::QueueModel*>(control<QTreeView>(form, "ListView1")->model());
}

inline std::unique_ptr<window::Form1> openForm(platform::SettingsStore& settings,
                                               const std::filesystem::path& folder) {
    auto form = std::make_unique<window::Form1>(settings, folder);
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
}

// A dialog step: records a message box's text and presses OK.
inline auto answerBox(std::vector<std::string>& texts) {
    return [&texts](QWidget* dialog) {
        texts.push_back(qobject_cast<QMessageBox*>(dialog)->text().toStdString());
        static_cast<QDialog*>(dialog)->accept();
    };
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override { form = openForm(settings, dir.path()); }
    template <typename T = QWidget>
    T* get(const char* name) const {
        return control<T>(*form, name);
    }
    platform::QueueModel& queue() const { return queueOf(*form); }

    TempDir dir;
    MemorySettings settings;
    std::unique_ptr<window::Form1> form;
};

}  // namespace qm::test
