#pragma once
// The failures the program reports: the path concerned, the program's own
// reason and the system's code, whose message is the system's description.

#include <filesystem>
#include <string>
#include <system_error>

namespace qm::files {

class FileError : public std::system_error {
public:
    // what() reads "reason: description"; the path is kept apart for the message box.
    FileError(std::filesystem::path path, const std::string& reason, std::error_code code)
        : std::system_error(code, reason), path_(std::move(path)), reason_(reason) {}
    // The file or folder the failure concerns.
    const std::filesystem::path& path() const noexcept { return path_; }
    // The program's own words for what failed, such as "not a regular file".
    const std::string& reason() const noexcept { return reason_; }

private:
    std::filesystem::path path_;
    std::string reason_;
};

// The text a message box shows for a failure: for a FileError the path, then
// the reason and the system's description in parentheses.
std::string failureText(const std::exception& failure);

// Throws a FileError for the error number error (an errno value).
[[noreturn]] inline void failWith(const char* reason, const std::filesystem::path& path,
                                  int error) {
    throw FileError(path, reason, std::error_code(error, std::generic_category()));
}

}  // namespace qm::files
