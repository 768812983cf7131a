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
// take, is instead overwritten in place at commit (see pending_write.cpp).

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qm::files {

// Owns a file descriptor and closes it when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    ~Fd();
    // The descriptor, or -1.
    int get() const { return fd_; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }
    // Closes now and returns close()'s result: some file systems report write errors only here.
    int close();

private:
    int fd_ = -1;
};

// Receives a file's new content as byte slices, in order.
class SliceSink {
public:
    virtual ~SliceSink() = default;
    // Takes bytes, which stay valid until the producer that passes them returns.
    virtual void put(std::string_view bytes) = 0;
};

// Emits the complete new content of a file into the sink; may be called more than once.
using Producer = std::function<void(SliceSink&)>;

// A file's whole content in one buffer of exactly its size (never zero-filled first).
class Bytes {
public:
    Bytes() = default;
    // Allocates size bytes; throws std::bad_alloc when memory does not suffice.
    explicit Bytes(std::size_t size);
    // The bytes as a view (empty for an empty file).
    std::string_view view() const { return {data_.get(), size_}; }
    // Writable start of the buffer.
    char* data() { return data_.get(); }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

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
    struct State;
    explicit PendingWrite(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace qm::files
