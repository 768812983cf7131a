#pragma once
// A file to be rewritten, opened and checked before anything changes: what is not a regular file
// and a read-only file fail here; the file is reached through its folder's descriptor, resolved
// once (paths.h), and what is opened is what was checked. It stays open until the run is done
// with it, so that checkUnchanged() can tell, right before the new content goes in, that the file
// is still the one read: someone else's write between the read and the commit is never lost.

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "files/fd.h"
#include "files/reading.h"

namespace qm::files {

// A regular file opened for reading to be rewritten: a read-only file, and
// anything that is not a regular file, fail here, before anything changes.
class InputFile {
public:
    // Opens the file without blocking, through symbolic links that may be followed (paths.h).
    explicit InputFile(const std::filesystem::path& path);
    // Pending writes point at it: it stays where it was made.
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads the whole file (no 2 GiB limit); fails if it shrinks meanwhile or memory lacks.
    Bytes readAll() const;
    // Fails unless the file is still the one opened: same inode under the name, size, mtime.
    void checkUnchanged() const;
    // The path as given, named in every error.
    const std::filesystem::path& path() const { return path_; }
    // The file itself by name, a final link resolved: only to flush its folder after a rename.
    const std::filesystem::path& target() const { return target_; }
    // The folder that holds the file itself (a final link followed), open, and its name there.
    int folder() const { return folder_.get(); }
    const std::string& name() const { return name_; }
    // The folder of the path as given (a final link's own), open: where its backup goes.
    int pathFolder() const { return linkFolder_.get() < 0 ? folder_.get() : linkFolder_.get(); }
    // The open descriptor (read only).
    int fd() const { return fd_.get(); }
    // The file's status when it was opened.
    const struct stat& status() const { return status_; }

private:
    std::filesystem::path path_;
    std::filesystem::path target_;
    Fd folder_;
    std::string name_;
    Fd linkFolder_;  // only when the path ends in a link
    Fd fd_;
    struct stat status_ {};
};

// Throws the failure of a file that is no longer the one that was read.
[[noreturn]] void failChanged(const std::filesystem::path& path);

}  // namespace qm::files
