// The in-place write, for a file a new file cannot stand in for: one with several hard links must
// stay one inode so that every name sees the new content; one in a folder where we may not create
// anything, or whose owner or group a new file of ours could not take, cannot be replaced by a
// new file. Such a file is overwritten where it stands, at commit:
//  - the extra space is reserved first, so that a full disk or a file size limit fails before the
//    first old byte changes;
//  - a failed write puts the old content back (a backup's old content is read first for that);
//  - set-ID bits and capabilities, which the kernel clears on a write, are put back where the
//    process may.
// A process killed in the middle of this write can leave the file part new, part old: it is the
// one case without the all-or-nothing guarantee.
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

#include "files/attributes.h"
#include "files/backup_permissions.h"
#include "files/file_error.h"
#include "files/write_state.h"

namespace qm::files {

namespace {

constexpr const char* kCapabilities = "security.capability";

class CountingSink final : public SliceSink {
public:
    void put(std::string_view bytes) override { total += bytes.size(); }
    std::uint64_t total = 0;
};

}  // namespace

// Overwrites the destination where it stands; see the top of this file.
void PendingWrite::State::writeInPlace() {
    // O_NOFOLLOW: a link put in the file's place meanwhile is never written through.
    Fd fd(::openat(folder, name.c_str(),
                   (source ? O_WRONLY : O_RDWR) | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        const int error = errno;
        if (source)
            source->checkUnchanged();  // gone or replaced meanwhile: that is the news
        failWith("cannot open for writing", shown, error);
    }
    struct stat now {};
    if (::fstat(fd.get(), &now) != 0)
        failWith("cannot open for writing", shown, errno);
    if (source && (now.st_dev != source->status().st_dev || now.st_ino != source->status().st_ino))
        failChanged(shown);
    if (!S_ISREG(now.st_mode))
        failWith("not a regular file", shown, ENOTSUP);
    // The content to put back if a write fails: a rewrite holds it, a backup's is read now.
    Bytes kept;
    if (copyOf) {
        // Another user's file would keep its owner and mode, and show the backup to its owner.
        if (now.st_uid != ::geteuid())
            failWith("the backup's name belongs to another user", shown, EPERM);
        kept = readWhole(fd.get(), static_cast<std::uint64_t>(now.st_size), shown);
        previous = kept.view();
        protectBackup(fd.get(), copyOf->fd(), copyOf->status(), besideItsFile, shown);
    }
    // A write clears capabilities and (unless root) set-ID bits; they are put back after it.
    const std::optional<std::string> capabilities =
        source ? attribute(source->fd(), kCapabilities, shown) : std::nullopt;
    const auto restoreAttributes = [&] {
        if (capabilities)
            (void)::fsetxattr(fd.get(), kCapabilities, capabilities->data(), capabilities->size(),
                              0);
        if (source)
            (void)::fchmod(fd.get(), mode);  // where we may: the owner, or root
    };

    CountingSink counter;
    produce(counter);
    const std::uint64_t size = counter.total;
    const std::uint64_t oldSize = previous.size();
    // The last look, with nothing that waits before the first byte changes: the file is still
    // the one that was read.
    if (source)
        source->checkUnchanged();
    if (size > oldSize) {
        // Reserve the extra space beyond the old content, which stays untouched, so that a
        // full disk or a file size limit fails here, before the first old byte changes.
        const int error = ::posix_fallocate(fd.get(), static_cast<off_t>(oldSize),
                                            static_cast<off_t>(size - oldSize));
        if (error != 0) {
            // Best effort: the missing space is what is reported.
            static_cast<void>(::ftruncate(fd.get(), static_cast<off_t>(oldSize)) == 0);
            failWith("not enough space", shown, error);
        }
    }
    try {
        writeAll(fd.get(), produce, shown);
        if (size < oldSize && ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0)
            failWith("cannot write", shown, errno);
        if (::fsync(fd.get()) != 0)
            failWith("cannot write", shown, errno);
    } catch (...) {
        // A failure puts the old content back (best effort: the failure is what is reported);
        // a kill before this point can leave the file mixed.
        const Producer old = [this](SliceSink& sink) { sink.put(previous); };
        if (::lseek(fd.get(), 0, SEEK_SET) == 0) {
            try {
                writeAll(fd.get(), old, shown);
            } catch (...) {
            }
        }
        static_cast<void>(::ftruncate(fd.get(), static_cast<off_t>(oldSize)) == 0);
        (void)::fsync(fd.get());
        restoreAttributes();
        throw;
    }
    restoreAttributes();
    // The file counts as rewritten even when no byte was written (empty before and after).
    (void)::futimens(fd.get(), nullptr);
    if (fd.close() != 0)
        failWith("cannot write", shown, errno);
}

}  // namespace qm::files
