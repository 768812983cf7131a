#pragma once
// The temporary file that holds prepared content beside its destination until a rename puts it
// in place: a process killed at any instant leaves the old file or the new one, never a mix, and
// at worst a leftover "~quillmere-XXXXXX.tmp", which the folder import passes over. Beside the
// destination, because a rename is atomic only within one file system. Created with O_EXCL under
// a random name, so that it is never an existing file nor a link someone planted under the name;
// removed when it goes unless it was renamed into place.

#include <filesystem>
#include <string>

#include "files/fd.h"

namespace qm::files {

class InputFile;

// A temporary file beside a destination, removed unless it was renamed into place.
struct TempFile {
    Fd fd;
    int folder = -1;   // the destination's folder, held open by the write's owner
    std::string name;  // in folder; empty once renamed or removed

    TempFile() = default;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    ~TempFile() { drop(); }

    // Creates it in the folder into (a descriptor) under a fresh name; 0, or the error.
    int create(int into);
    // Flushes its content and attributes to disk; failures name shown.
    void flush(const std::filesystem::path& shown);
    // Closes, checks checked (if any) is unchanged, renames over target; 0, or rename's error.
    int renameOver(const std::string& target, const std::filesystem::path& shown,
                   const InputFile* checked);
    // Closes and removes it, if it is still there.
    void drop();
};

}  // namespace qm::files
