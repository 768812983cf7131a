#pragma once
// Makes a run's prepared files, and then its renames, durable in groups.
//
// One flush of a whole file system (syncfs) covers every file written on it
// before the flush began, where a flush per file would wait on the disk once
// per file. But syncfs also writes out every other program's unwritten data on
// that file system: while much of it waits in the cache (a download, a virtual
// machine), a group flush could hold the run up for as long as the kernel
// needs to write it all. Then each file, and each folder whose entry a rename
// changed, is flushed on its own instead. Safe to share between threads.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace qm::replace {

class GroupFlush {
public:
    // Decides the first mode from the data waiting in the cache now.
    GroupFlush();

    // True when files are to be flushed one by one (see above); workers ask after each file.
    bool perFile() const { return perFile_.load(std::memory_order_relaxed); }
    // Looks at the cache again, at most a few times a second; ownBytes: what the run itself may
    // have left unwritten.
    void reconsider(std::uint64_t ownBytes);
    // Notes that a file was just written or renamed; returns its place in the order of writes.
    std::uint64_t written() { return ++written_; }
    // Returns once everything noted up to ticket on fd's file system is on disk.
    void through(std::uint64_t ticket, int fd, const std::filesystem::path& shown);
    // Returns once the folders' entries are on disk (each with the ticket of its last rename):
    // flushed one by one, several at once, or else each through its file system.
    void foldersThrough(const std::map<std::string, std::uint64_t>& folders);

private:
    std::atomic<bool> perFile_{false};
    std::chrono::steady_clock::time_point looked_;  // when the cache was last looked at
    std::atomic<std::uint64_t> written_{0};
    std::mutex mutex_;
    std::map<dev_t, std::uint64_t> flushed_;  // per file system: on disk up to this ticket
};

}  // namespace qm::replace
