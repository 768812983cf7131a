#pragma once
// The program's one write path for files. Every failure throws
// FileError carrying the path, the reason and the system's error.
//
// New content reaches a file through rewriteFile (or copyFile, built on the
// same writer): it is produced as a sequence of byte slices, gathered into
// writev batches, written to a temporary file "~quillmere-XXXXXX.tmp" beside
// the file, flushed to disk and renamed over it. A file with several hard
// links, or in a folder where no file can be created, is rewritten in place
// instead (see posix_files.cpp for what that guarantees). In the rewrite,
// previous is the file's current content, written back if an in-place write
// fails part-way; the file keeps its permission bits, owner and group where
// allowed, and extended attributes.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace qm::platform {

// Receives a file's new content as byte slices and writes them in batches.
class SliceSink {
public:
    virtual ~SliceSink() = default;
    // Queues bytes, which must stay valid until flush() or until the producer returns.
    virtual void put(std::string_view bytes) = 0;
    // Writes everything queued, so that the caller may reuse the memory behind it.
    virtual void flush() = 0;
};

// Emits the complete new content of a file into the sink, in order.
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

// A regular file opened for reading and checked, ready to be read and then rewritten.
class InputFile {
public:
    enum class Purpose { Read, Rewrite };
    // Opens a regular file (through a symbolic link) without blocking; Rewrite refuses read-only.
    InputFile(const std::filesystem::path& path, Purpose purpose);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads the whole file in a loop (no 2 GiB limit); ENOMEM if memory lacks, EIO if it shrank.
    Bytes readAll();
    // The path as given, named in every error.
    const std::filesystem::path& path() const { return path_; }
    // The file itself: path with a final symbolic link resolved.
    const std::filesystem::path& target() const { return target_; }
    // The open descriptor (read only).
    int fd() const { return fd_; }
    // The file's status when it was opened.
    const struct stat& status() const { return status_; }

private:
    std::filesystem::path path_;
    std::filesystem::path target_;
    int fd_ = -1;
    struct stat status_ {};
};

// Replaces file's content by produce's size bytes, keeping its attributes; previous: its content.
void rewriteFile(InputFile& file, std::uint64_t size, const Producer& produce,
                 std::string_view previous);

// Copies the regular file from to to, written the same safe way as a rewrite:
// to ends up holding either its old content or the complete copy. The copy
// gets from's permission bits. An existing to is replaced.
void copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qm::platform
