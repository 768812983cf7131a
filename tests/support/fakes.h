#pragma once
// In-memory stand-ins for the list, the dialogs and the message boxes.

#include <functional>
#include <iterator>
#include <sstream>

#include "platform/file_dialogs.h"
#include "platform/list_control.h"
#include "platform/message_boxes.h"

namespace qm::test {

using Strings = std::vector<std::string>;

// The words of a space-separated list.
inline Strings split(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

// The queue's rows, none of them selected.
struct FakeList : platform::ListControl {
    std::vector<platform::QueueEntry> rows;

    void append(std::vector<platform::QueueEntry> more) override {
        rows.insert(rows.end(), more.begin(), more.end());
    }
    std::size_t count() const override { return rows.size(); }
    std::filesystem::path filename(std::size_t i) const override { return rows.at(i).filename; }
    void setStatus(std::size_t i, const std::string& s) override { rows.at(i).status = s; }
    void removeAt(std::size_t i) override { rows.erase(rows.begin() + static_cast<long>(i)); }
    void clear() override { rows.clear(); }
    std::optional<std::size_t> selectedIndex() const override { return {}; }
    // Every row's path, or every row's status.
    Strings column(bool status) const {
        Strings out;
        for (const auto& r : rows) out.push_back(status ? r.status : r.filename.native());
        return out;
    }
};

// Records the text of every box; answers each with the next of answers (Y, N or C), then Ok.
struct FakeBoxes : platform::MessageBoxes {
    Strings shown;
    std::string answers;
    std::function<void()> onShow;  // runs while a box is up

    platform::Answer show(std::string_view text, platform::Buttons) override {
        shown.emplace_back(text);
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

}  // namespace qm::test
