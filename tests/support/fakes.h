#pragma once
// In-memory stand-ins for the window side of the platform layer.

#include <chrono>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/file_dialogs.h"
#include "platform/list_control.h"
#include "platform/message_boxes.h"
#include "platform/ui_thread.h"
#include "platform/window_port.h"

namespace qm::test {

using Strings = std::vector<std::string>;

// The words of a space-separated list.
inline Strings split(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

// The queue's rows; selected is the row a double-click would remove.
struct FakeList : platform::ListControl {
    std::vector<platform::QueueEntry> rows;
    std::optional<std::size_t> selected;

    void append(std::vector<platform::QueueEntry> more) override {
        rows.insert(rows.end(), more.begin(), more.end());
    }
    std::size_t count() const override { return rows.size(); }
    std::filesystem::path filename(std::size_t i) const override { return rows.at(i).filename; }
    void setStatus(std::size_t i, const std::string& s) override { rows.at(i).status = s; }
    void removeAt(std::size_t i) override { rows.erase(rows.begin() + static_cast<long>(i)); }
    void clear() override { rows.clear(); }
    std::optional<std::size_t> selectedIndex() const override { return selected; }
    // Every row's path, or every row's status.
    Strings column(bool status) const {
        Strings out;
        for (const auto& r : rows) out.push_back(status ? r.status : r.filename.native());
        return out;
    }
};

struct FakeWindow : platform::WindowPort {
    std::string find, replacement, title = "Quillmere";
    bool backup = false;
    std::vector<platform::Pointer> pointers{platform::Pointer::Default};  // every code set

    std::string findText() const override { return find; }
    std::string replaceText() const override { return replacement; }
    bool backupChecked() const override { return backup; }
    void setTitle(std::string_view t) override { title = t; }
    platform::Pointer pointer() const override { return pointers.back(); }
    void setPointer(platform::Pointer c) override { pointers.push_back(c); }
};

// Records every box, with the pointer while it is up; answers each with the next of answers
// (Y, N or C), then Ok.
struct FakeBoxes : platform::MessageBoxes {
    struct Shown {
        std::string text;
        platform::Pointer pointer;
    };
    std::vector<Shown> shown;
    std::string answers;
    const FakeWindow* window = nullptr;
    std::function<void()> onShow;  // runs while a box is up

    platform::Answer show(std::string_view text, platform::Buttons) override {
        shown.push_back({std::string(text), window ? window->pointer() : platform::Pointer::Default});
        if (onShow)
            onShow();
        using enum platform::Answer;
        const char next = shown.size() <= answers.size() ? answers[shown.size() - 1] : 'O';
        return next == 'Y' ? Yes : next == 'N' ? No : next == 'C' ? Cancel : Ok;
    }
};

// Answers the open-file dialog and the folder picker with set results.
struct FakeDialogs : platform::FileDialogs {
    std::string selection;         // what showOpen returns
    std::filesystem::path folder;  // what browseForFolder returns

    std::string showOpen(std::uint32_t, std::string_view, std::string_view) override {
        return selection;
    }
    std::filesystem::path browseForFolder(std::string_view) override { return folder; }
};

// Runs posted work at once, one piece at a time, on whichever thread posts it; runUntil() checks
// between pieces.
struct FakeUiThread : platform::UiThread {
    std::mutex mutex;

    void post(std::function<void()> work) override {
        const std::lock_guard lock(mutex);
        work();
    }
    // Whether done() holds within ten seconds.
    bool runUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 10'000; ++i) {
            if (const std::lock_guard lock(mutex); done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
};

}  // namespace qm::test
