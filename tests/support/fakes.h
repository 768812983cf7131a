#pragma once
// In-memory stand-ins for the window side of the platform layer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_dialogs.h"
#include "platform/list_control.h"
#include "platform/message_boxes.h"
#include "platform/ui_thread.h"
#include "platform/window_port.h"

namespace qm::test {

class FakeList : public platform::ListControl {
public:
    std::vector<platform::QueueEntry> rows;
    std::optional<std::size_t> selected;
    int appendCalls = 0;

    void append(std::vector<platform::QueueEntry> more) override {
        ++appendCalls;
        for (auto& r : more) rows.push_back(std::move(r));
    }
    std::size_t count() const override { return rows.size(); }
    std::filesystem::path filename(std::size_t i) const override { return rows.at(i).filename; }
    void setStatus(std::size_t i, const std::string& s) override { rows.at(i).status = s; }
    void removeAt(std::size_t i) override {
        if (i >= rows.size())
            throw std::out_of_range("removeAt");
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
    }
    void clear() override { rows.clear(); }
    std::optional<std::size_t> selectedIndex() const override { return selected; }
};

class FakeWindow : public platform::WindowPort {
public:
    std::string find, replacement, title = "Quillmere";
    bool backup = false;
    platform::Pointer code = platform::Pointer::Default;
    std::vector<platform::Pointer> pointerHistory;

    std::string findText() const override { return find; }
    std::string replaceText() const override { return replacement; }
    bool backupChecked() const override { return backup; }
    void setTitle(std::string_view t) override { title = t; }
    platform::Pointer pointer() const override { return code; }
    void setPointer(platform::Pointer c) override {
        code = c;
        pointerHistory.push_back(c);
    }
};

// Records every box and answers from a script (Ok when the script runs out).
class FakeBoxes : public platform::MessageBoxes {
public:
    struct Shown {
        std::string text;
        platform::Buttons buttons;
        platform::Pointer pointerWhileShown;
    };
    std::vector<Shown> shown;
    std::deque<platform::Answer> answers;
    const FakeWindow* window = nullptr;       // optional: records the pointer while a box is up
    std::function<void(std::size_t)> onShow;  // optional: runs while box n (from 0) is up

    platform::Answer show(std::string_view text, platform::Buttons buttons) override {
        shown.push_back(
            {std::string(text), buttons, window ? window->code : platform::Pointer::Default});
        if (onShow)
            onShow(shown.size() - 1);
        if (answers.empty())
            return platform::Answer::Ok;
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

// The open-file dialog and folder picker, answering with set results and
// recording what they were asked.
class FakeDialogs : public platform::FileDialogs {
public:
    struct OpenCall {
        std::uint32_t flags;
        std::string title, filter;
    };
    std::string selection;         // what showOpen returns
    std::filesystem::path folder;  // what browseForFolder returns
    std::vector<OpenCall> opens;
    std::vector<std::string> prompts;

    std::string showOpen(std::uint32_t flags, std::string_view title,
                         std::string_view filter) override {
        opens.push_back({flags, std::string(title), std::string(filter)});
        return selection;
    }
    std::filesystem::path browseForFolder(std::string_view prompt) override {
        prompts.emplace_back(prompt);
        return folder;
    }
};

// Work posted from a run's threads, run on the test's own thread.
class FakeUiThread : public platform::UiThread {
public:
    void post(std::function<void()> work) override {
        {
            const std::lock_guard lock(mutex_);
            work_.push_back(std::move(work));
        }
        posted_.notify_one();
    }
    // Runs posted work, waiting for more, until done() holds; false after ten idle seconds.
    bool runUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::function<void()> next;
            {
                std::unique_lock lock(mutex_);
                if (!posted_.wait_for(lock, std::chrono::seconds(10),
                                      [&] { return !work_.empty(); }))
                    return false;
                next = std::move(work_.front());
                work_.pop_front();
            }
            next();
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> work_;
};

}  // namespace qm::test
