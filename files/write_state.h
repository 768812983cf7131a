#pragma once
// What a prepared write holds between its preparation (pending_write.cpp) and its commit, which
// renames the temporary file into place or, where a new file cannot stand in for the old one,
// writes in place (in_place.cpp). Only the write path's own files include it.

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "files/pending_write.h"
#include "files/temp_file.h"

namespace qm::files {

struct PendingWrite::State {
    std::filesystem::path shown;        // named in errors
    int folder = -1;                    // the destination's folder, held by its InputFile
    std::string name;                   // the destination itself in it (a final link resolved)
    const InputFile* source = nullptr;  // a rewrite's file: checked, and its attributes kept
    const InputFile* copyOf = nullptr;  // a backup's file: who may read it
    std::string_view previous;          // a rewrite's content as read
    Producer produce;                   // the new content
    mode_t mode = 0;                    // a rewrite's: its file's permission bits
    TempFile temp;                      // the prepared content, unless it goes in place
    bool regularDestination = true;     // false: a link that commit replaces, never follows
    bool besideItsFile = true;          // a backup: in the same folder as its file

    void writeInPlace();
};

}  // namespace qm::files
