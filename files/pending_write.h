#pragma once
// The program's one write path for files. Every failure throws a FileError
// carrying the path, the program's reason and the system's error.
//
// New content is made ready first and put in place later, so that many files
// can be prepared at once and still change one after another, in order:
//  - prepare: the content goes to a temporary file "~quillmere-XXXXXX.tmp"
//    beside its destination, which then takes the destination's owner,
//    extended attributes and permission bits (in that order, after the last
//    write, so that the kernel does not clear set-ID bits or capabilities),
//    and is flushed to disk, at once or later by the caller;
//  - commit: once the destination is seen to be the one that was read, the
//    temporary file is renamed over it.
// A file that must keep its inode (several hard links), that sits in a folder
// where nothing may be created, or whose owner or group a new file could not
// take, is instead overwritten in place at commit (see in_place.cpp).

#include <filesystem>
#include <memory>
#include <string_view>

#include "files/input_file.h"
#include "files/slices.h"

namespace qm::files {

// When prepared content reaches the disk: flushed at once, or deferred to the
// caller, who flushes it (file by file, or a whole file system at once)
// before commit() lets it take the destination's name.
enum class Durability { Now, Deferred };

// New content for one destination, prepared and waiting for commit(). Until
// then nothing visible has changed; a write dropped uncommitted removes its
// temporary file. The objects it was made from must outlive it.
class PendingWrite {
public:
    // Prepares file's new content, as produced; previous is the file's content as read.
    static PendingWrite rewrite(const InputFile& file, std::string_view previous, Producer produce,
                                Durability durability = Durability::Now);
    // Prepares a backup of source, whose content was read as content, under the path to, which
    // lies beside source's path (in the folder held since source was opened).
    static PendingWrite backup(const InputFile& source, std::string_view content,
                               const std::filesystem::path& to,
                               Durability durability = Durability::Now);

    PendingWrite(PendingWrite&&) noexcept;
    PendingWrite& operator=(PendingWrite&&) noexcept;
    ~PendingWrite();

    // The prepared file's descriptor until commit(); -1 when the content goes in place at
    // commit, which then flushes it itself.
    int descriptor() const;
    // Flushes deferred content to disk now (its data and what is needed to read it back).
    void flush();
    // The folder whose entry commit() changes: flushing it makes the commit durable.
    std::filesystem::path folder() const;
    // Puts the content in place; a rewrite first checks that its file is unchanged, as late as
    // it can: right before the rename, or right before the first byte written in place.
    void commit();

private:
    struct State;  // write_state.h
    explicit PendingWrite(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace qm::files
