#include "replace/group_flush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "files/fd.h"
#include "files/file_error.h"

namespace qm::replace {

namespace {

// Other programs' data waiting to be written beyond which a file system flush is avoided:
// writing 64 MiB takes a fraction of a second even on a slow disk.
constexpr std::uint64_t kForeignLimit = std::uint64_t{64} << 20;
constexpr auto kLookAgainAfter = std::chrono::milliseconds(100);
// Folders flushed at once when each is flushed on its own.
constexpr std::size_t kFoldersAtOnce = 8;

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

void GroupFlush::foldersThrough(const std::map<std::string, std::uint64_t>& folders) {
    // Each folder flushed on its own waits on the disk: several wait at once.
    const bool alone = perFile();
    std::vector<std::pair<std::string, std::uint64_t>> all(folders.begin(), folders.end());
    std::atomic<std::size_t> next{0};
    std::mutex failing;
    std::exception_ptr failure;
    const auto flushSome = [&] {
        for (std::size_t i = next++; i < all.size(); i = next++) {
            try {
                const files::Fd fd(
                    ::open(all[i].first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (fd.get() < 0)
                    files::failWith("cannot write", all[i].first, errno);
                if (!alone)
                    through(all[i].second, fd.get(), all[i].first);
                else if (::fsync(fd.get()) != 0)
                    files::failWith("cannot write", all[i].first, errno);
            } catch (...) {
                const std::lock_guard lock(failing);
                failure = failure ? failure : std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t n = 1; alone && n < std::min(all.size(), kFoldersAtOnce); ++n) {
        try {
            helpers.emplace_back(flushSome);
        } catch (...) {
            break;  // fewer at once, then
        }
    }
    flushSome();
    for (std::thread& helper : helpers) helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace qm::replace
