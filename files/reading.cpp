// Reading by offset (pread), so that the descriptor's own position never matters, and a read
// interrupted by a signal is asked again.
#include "files/reading.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

#include "files/file_error.h"

namespace qm::files {

namespace fs = std::filesystem;

namespace {

// read() transfers at most about 2 GiB a call; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;

// Reads up to want (> 0) bytes at offset; fails on an error or at an early end.
std::size_t readAt(int fd, char* into, std::size_t want, std::uint64_t offset,
                   const fs::path& shown) {
    for (;;) {
        const ssize_t n = ::pread(fd, into, want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failWith("cannot read", shown, errno);
        // Shorter than a moment ago: someone else is changing it, so leave it alone.
        if (n == 0)
            failWith("file changed while it was read", shown, ECANCELED);
        return static_cast<std::size_t>(n);
    }
}

}  // namespace

Bytes::Bytes(std::size_t size) : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

Bytes readWhole(int fd, std::uint64_t size, const fs::path& shown) {
    Bytes bytes;
    try {
        if (size > PTRDIFF_MAX)
            throw std::bad_alloc();
        bytes = Bytes(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        failWith("not enough memory to read the file", shown, ENOMEM);
    }
    for (std::size_t got = 0; got < size;)
        got += readAt(fd, bytes.data() + got, std::min(size - got, kMaxReadChunk), got, shown);
    return bytes;
}

}  // namespace qm::files
