#pragma once
// Paths resolved once, through descriptors, for the write path: what was checked is what is
// opened, created beside and renamed over (see paths.cpp).

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "files/fd.h"

namespace qm::files {

// Where a name stands: its folder, held open, and the name in it.
struct Place {
    Fd folder;         // the folder (an O_PATH descriptor); later calls go through it
    std::string name;  // one name, without "/"
    std::optional<struct stat> status;  // what stood at the name (not followed); none if nothing
};

// Resolves path's folders (not a final symbolic link), following a link only when it belongs to
// the user running the program, to root or to the owner of what it points to. Failures name path:
// EPERM for a link not followed, else reason with the system's error.
Place resolve(const std::filesystem::path& path, const char* reason);

// Where the symbolic link at link leads, if it may be followed: as resolve(), for shown.
Place resolveLink(const Place& link, const std::filesystem::path& shown, const char* reason);

// True when a and b are the same file (device and inode).
inline bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when the descriptors a and b are of the same file.
inline bool sameFile(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sameFile(sa, sb);
}

}  // namespace qm::files
