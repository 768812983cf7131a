#include "replace/group_flush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/fd.h"
#include "files/file_error.h"

namespace qm::replace {

namespace {

// Other programs' data waiting to be written beyond which a file system flush is avoided:
// writing 64 MiB takes a fraction of a second even on a slow disk.
constexpr std::uint64_t kForeignLimit = std::uint64_t{64} << 20;
constexpr auto kLookAgainAfter = std::chrono::milliseconds(100);

// Dirty and under-writeback bytes in the whole page cache; 0 where the kernel does not say.
std::uint64_t unwrittenBytes() {
    std::FILE* meminfo = std::fopen("/proc/meminfo", "re");
    if (!meminfo)
        return 0;
    std::uint64_t total = 0;
    char line[128];
    while (std::fgets(line, sizeof line, meminfo)) {
        unsigned long long kib = 0;
        if (std::sscanf(line, "Dirty: %llu kB", &kib) == 1 ||
            std::sscanf(line, "Writeback: %llu kB", &kib) == 1)
            total += std::uint64_t{kib} << 10;
    }
    std::fclose(meminfo);
    return total;
}

}  // namespace

GroupFlush::GroupFlush() {
    perFile_ = unwrittenBytes() > kForeignLimit;
    looked_ = std::chrono::steady_clock::now();
}

void GroupFlush::reconsider(std::uint64_t ownBytes) {
    {
        const std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (now - looked_ < kLookAgainAfter)
            return;
        looked_ = now;
    }
    const std::uint64_t unwritten = unwrittenBytes();
    perFile_.store(unwritten > ownBytes + kForeignLimit, std::memory_order_relaxed);
}

void GroupFlush::through(std::uint64_t ticket, int fd, const std::filesystem::path& shown) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        files::failWith("cannot write", shown, errno);
    const std::lock_guard lock(mutex_);
    std::uint64_t& flushed = flushed_[st.st_dev];
    if (ticket <= flushed)
        return;
    // Everything noted so far was written before the flush starts.
    const std::uint64_t now = written_;
    if (::syncfs(fd) != 0)
        files::failWith("cannot write", shown, errno);
    flushed = now;
}

void GroupFlush::folderThrough(std::uint64_t ticket, const std::filesystem::path& folder) {
    const files::Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        files::failWith("cannot write", folder, errno);
    if (!perFile())
        through(ticket, fd.get(), folder);
    else if (::fsync(fd.get()) != 0)
        files::failWith("cannot write", folder, errno);
}

}  // namespace qm::replace
