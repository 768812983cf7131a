#pragma once
// The open-file dialog and the folder picker.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qm::platform {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Shows the modal open-file dialog. Returns the selection as bytes: one
    // full path, or the folder followed by each name, each preceded by a NUL;
    // empty when nothing was chosen.
    virtual std::string showOpen(std::uint32_t flags, std::string_view title,
                                 std::string_view filter) = 0;
    // Shows the modal folder picker with prompt; empty path when cancelled.
    virtual std::filesystem::path browseForFolder(std::string_view prompt) = 0;
};

}  // namespace qm::platform
