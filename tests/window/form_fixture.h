#pragma once
// A shown, active main window over an in-memory settings store, and helpers
// to reach its controls by their names.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTreeView>
#include <map>
#include <memory>
#include <string>

#include "platform/qt_queue_model.h"
#include "platform/settings_store.h"
#include "support/temp_dir.h"
#include "window/form1.h"

namespace qm::test {

class MemorySettings : public platform::SettingsStore {
public:
    std::map<std::string, std::string> values;  // "section/key" -> text
    std::vector<std::string> writes;

    std::string read(std::string_view section, std::string_view key) const override {
        const auto it = values.find(std::string(section) + "/" + std::string(key));
        return it == values.end() ? std::string() : it->second;
    }
    void write(std::string_view section, std::string_view key, std::string_view text) override {
        values[std::string(section) + "/" + std::string(key)] = text;
        writes.emplace_back(text);
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

// Shows form and waits until it is exposed and active.
inline void showActive(QWidget& form) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
}

// A dialog step: records the text of a message box and presses its OK/first button.
inline auto answerBox(std::vector<std::string>& texts) {
    return [&texts](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        texts.push_back(box->text().toStdString());
        box->accept();
    };
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<window::Form1>(settings, dir.path());
        showActive(*form);
    }
    void TearDown() override { form.reset(); }

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
