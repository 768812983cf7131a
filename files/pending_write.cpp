// The one write path for files, on POSIX.
//
// Prepared content lives in "~quillmere-XXXXXX.tmp" in the destination's own
// folder until commit renames it over the destination: a process killed at
// any instant leaves the old file or the new one, and at worst a leftover "~"
// temporary, which the folder import passes over.
//
// In-place case: a file with several hard links must stay one inode so that
// every name sees the new content; a file in a folder where we may not create
// anything, or one whose owner or group a new file of ours could not take,
// cannot be replaced by a new file. Such a file is overwritten where it stands,
// at commit: the extra space is reserved first (so a full disk or a file size
// limit fails before the first old byte changes), a failed write puts the old
// content back, and set-ID bits and capabilities, which the kernel clears on a
// write, are put back where the process may. A process killed in the middle
// of this write can leave the file part new, part old: it is the one case
// without the all-or-nothing guarantee.
//
// Every file is reached through the descriptor of its folder, resolved once (paths.cpp):
// the temporary file is created, renamed and removed, and the file opened in place, by name in
// that folder, never by path.
#include "files/pending_write.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "files/attributes.h"
#include "files/backup_permissions.h"
#include "files/file_error.h"
#include "files/paths.h"

namespace qm::files {

namespace fs = std::filesystem;

namespace {

#ifdef IOV_MAX
constexpr int kMaxSlices = IOV_MAX;
#else
constexpr int kMaxSlices = UIO_MAXIOV;
#endif

// read() transfers at most about 2 GiB a call; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;
// "~quillmere-XXXXXX.tmp": short, so that it fits any NAME_MAX, and starting with "~" so the
// folder import skips it.
constexpr std::string_view kTempPrefix = "~quillmere-", kTempSuffix = ".tmp";
constexpr int kTempRandomLength = 6, kTempAttempts = 100;
constexpr const char* kCapabilities = "security.capability";

[[noreturn]] void fail(const char* reason, const fs::path& path, int error) {
    failWith(reason, path, error);
}

[[noreturn]] void failChanged(const fs::path& path) {
    fail("file changed while it was being rewritten", path, ECANCELED);
}

bool refused(int error) {
    return error == EACCES || error == EPERM;
}

// 0 when the process may write the file name in folder, else the error. Root passes every
// permission check, but a file without a single write bit is meant to stay as it is.
int writeAccess(int folder, const std::string& name, const struct stat& status) {
    if (::faccessat(folder, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 && ::geteuid() == 0)
        return EACCES;
    return 0;
}

// Gathers slices into writev batches of at most kMaxSlices.
class BatchWriter final : public SliceSink {
public:
    BatchWriter(int fd, const fs::path& shown) : fd_(fd), shown_(shown) {}

    void put(std::string_view bytes) override {
        if (bytes.empty())
            return;
        slices_[count_++] = {const_cast<char*>(bytes.data()), bytes.size()};
        if (count_ == kMaxSlices)
            flush();
    }

    void flush() {
        iovec* next = slices_.data();
        int left = count_;
        while (left > 0) {
            const ssize_t n = ::writev(fd_, next, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("cannot write", shown_, n < 0 ? errno : EIO);
            // A partial write: skip what went out and go on from there.
            auto done = static_cast<std::size_t>(n);
            while (left > 0 && done >= next->iov_len) {
                done -= next->iov_len;
                ++next;
                --left;
            }
            if (left > 0) {
                next->iov_base = static_cast<char*>(next->iov_base) + done;
                next->iov_len -= done;
            }
        }
        count_ = 0;
    }

private:
    int fd_;
    const fs::path& shown_;
    std::array<iovec, kMaxSlices> slices_;
    int count_ = 0;
};

class CountingSink final : public SliceSink {
public:
    void put(std::string_view bytes) override { total += bytes.size(); }
    std::uint64_t total = 0;
};

void writeAll(int fd, const Producer& produce, const fs::path& shown) {
    BatchWriter writer(fd, shown);
    produce(writer);
    writer.flush();
}

// Reads up to want (> 0) bytes at offset; fails on an error or at an early end.
std::size_t readAt(int fd, char* into, std::size_t want, std::uint64_t offset,
                   const fs::path& shown) {
    for (;;) {
        const ssize_t n = ::pread(fd, into, want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("cannot read", shown, errno);
        // Shorter than a moment ago: someone else is changing it, so leave it alone.
        if (n == 0)
            fail("file changed while it was read", shown, ECANCELED);
        return static_cast<std::size_t>(n);
    }
}

Bytes readWhole(int fd, std::uint64_t size, const fs::path& shown) {
    Bytes bytes;
    try {
        if (size > PTRDIFF_MAX)
            throw std::bad_alloc();
        bytes = Bytes(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        fail("not enough memory to read the file", shown, ENOMEM);
    }
    for (std::size_t got = 0; got < size;)
        got += readAt(fd, bytes.data() + got, std::min(size - got, kMaxReadChunk), got, shown);
    return bytes;
}

// A temporary file beside a destination, removed unless it was renamed into place.
struct TempFile {
    Fd fd;
    int folder = -1;   // the destination's folder, held open by the write's owner
    std::string name;  // in folder; empty once renamed or removed

    TempFile() = default;
    TempFile(TempFile&& other) noexcept
        : fd(std::move(other.fd)), folder(other.folder), name(std::exchange(other.name, {})) {}
    TempFile& operator=(TempFile&& other) noexcept {
        drop();
        fd = std::move(other.fd);
        folder = other.folder;
        name = std::exchange(other.name, {});
        return *this;
    }
    ~TempFile() { drop(); }

    // Creates it in folder (a descriptor) under a fresh name; returns 0, or the error that
    // prevented it. O_EXCL: never an existing file, nor a link planted under the name.
    int create(int into) {
        static constexpr std::string_view kLetters =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
            unsigned char random[kTempRandomLength];
            if (::getrandom(random, sizeof random, 0) != sizeof random)
                return errno;
            std::string candidate(kTempPrefix);
            for (const unsigned char r : random) candidate += kLetters[r % kLetters.size()];
            candidate += kTempSuffix;
            const int made = ::openat(into, candidate.c_str(),
                                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (made >= 0) {
                fd = Fd(made);
                folder = into;
                name = std::move(candidate);
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }
    // Without this flush, a crash soon after the rename could leave the destination empty or
    // holding only part of its new content: the rename may reach the disk before the data. A
    // full fsync, as the owner, mode and attributes set after the write must last too.
    void flush(const fs::path& shown) {
        if (::fsync(fd.get()) != 0)
            fail("cannot write", shown, errno);
    }
    // Closed (some file systems report write errors only there), checked, then renamed over the
    // name target in its folder with nothing that waits in between; returns 0, or rename's error
    // (the temporary file then stays).
    int renameOver(const std::string& target, const fs::path& shown, const InputFile* checked) {
        if (fd.close() != 0)
            fail("cannot write", shown, errno);
        if (checked)
            checked->checkUnchanged();
        if (::renameat(folder, name.c_str(), folder, target.c_str()) != 0)
            return errno;
        name.clear();
        return 0;
    }
    void drop() {
        fd = Fd();
        if (!name.empty())
            ::unlinkat(folder, name.c_str(), 0);
        name.clear();
    }
};

// Gives the new file the owner and group of the old one; false when that is not allowed (only
// root may give a file away, and an owner only to a group of their own).
bool takeOwner(int fd, const struct stat& old, const fs::path& shown) {
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        fail("cannot write", shown, errno);
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid)
        return true;
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return true;
    if (errno == EPERM)
        return false;
    fail("cannot set the owner", shown, errno);
}

// Extended attributes (ACLs and capabilities among them) of from, set on to. Attributes the
// process may not set (another namespace's, say) are passed over; a file system without them
// is no error.
void copyExtendedAttributes(int from, int to, const fs::path& shown) {
    ssize_t length = ::flistxattr(from, nullptr, 0);
    if (length < 0 && notSupported(errno))
        return;
    if (length < 0)
        fail("cannot read extended attributes", shown, errno);
    std::vector<char> names(static_cast<std::size_t>(length));
    if (length > 0 && (length = ::flistxattr(from, names.data(), names.size())) < 0)
        fail("cannot read extended attributes", shown, errno);
    bool hasAccessAcl = false;
    for (std::size_t at = 0; at < static_cast<std::size_t>(length);) {
        const char* name = names.data() + at;
        at += std::char_traits<char>::length(name) + 1;
        hasAccessAcl = hasAccessAcl || std::string_view(name) == kAccessAcl;
        const std::optional<std::string> value = attribute(from, name, shown);
        if (value && ::fsetxattr(to, name, value->data(), value->size(), 0) != 0 &&
            errno != EPERM && !notSupported(errno))
            fail("cannot copy extended attributes", shown, errno);
    }
    // A default ACL of the folder may have given the new file an ACL the old one lacked.
    if (!hasAccessAcl)
        ::fremovexattr(to, kAccessAcl);
}

}  // namespace

// ---------------------------------------------------------------------------

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

Fd::~Fd() {
    close();
}

int Fd::close() {
    return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1));
}

Bytes::Bytes(std::size_t size) : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

InputFile::InputFile(const fs::path& path) : path_(path), target_(path) {
    Place place = resolve(path, "cannot open the file");
    if (place.status && S_ISLNK(place.status->st_mode)) {
        // The link stays; its target is the file to read and replace, in its own folder.
        Place target = resolveLink(place, path, "cannot open the file");
        linkFolder_ = std::move(place.folder);
        place = std::move(target);
        // By name only to flush its folder after the rename.
        std::error_code error;
        target_ = fs::canonical(path, error);
        if (error)
            throw FileError(path, "cannot open the file", error);
    }
    if (!place.status)
        fail("cannot open the file", path, ENOENT);
    folder_ = std::move(place.folder);
    name_ = std::move(place.name);
    // Checked before open: opening a FIFO or a device could block or have effects.
    const struct stat& status = *place.status;
    const auto checkRegular = [&](const struct stat& st) {
        if (!S_ISREG(st.st_mode))
            fail("not a regular file", path, S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP);
    };
    checkRegular(status);
    // Only a refusal makes a file read-only; one that vanished meanwhile, say, could not be opened.
    if (const int error = writeAccess(folder_.get(), name_, status))
        fail(refused(error) || error == EROFS ? "file is read-only" : "cannot open the file", path,
             error);
    fd_ = Fd(::openat(folder_.get(), name_.c_str(),
                      O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (fd_.get() < 0)
        fail("cannot open the file", path, errno);
    // What was opened must be what was checked (a link was followed for its target's owner).
    if (::fstat(fd_.get(), &status_) != 0)
        fail("cannot open the file", path, errno);
    checkRegular(status_);
    if (!sameFile(status_, status))
        fail("file changed while it was read", path, ECANCELED);
}

Bytes InputFile::readAll() const {
    return readWhole(fd_.get(), static_cast<std::uint64_t>(status_.st_size), path_);
}

void InputFile::checkUnchanged() const {
    struct stat now {
    }, named{};
    if (::fstat(fd_.get(), &now) != 0)
        fail("cannot read", path_, errno);
    const bool same = now.st_size == status_.st_size &&
                      now.st_mtim.tv_sec == status_.st_mtim.tv_sec &&
                      now.st_mtim.tv_nsec == status_.st_mtim.tv_nsec &&
                      ::fstatat(folder_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                      sameFile(named, status_);
    if (!same)
        failChanged(path_);
}

// ---------------------------------------------------------------------------

struct PendingWrite::State {
    fs::path shown;                     // named in errors
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

PendingWrite::PendingWrite(std::unique_ptr<State> state) : state_(std::move(state)) {}
PendingWrite::PendingWrite(PendingWrite&&) noexcept = default;
PendingWrite& PendingWrite::operator=(PendingWrite&&) noexcept = default;
PendingWrite::~PendingWrite() = default;

PendingWrite PendingWrite::rewrite(const InputFile& file, std::string_view previous,
                                   Producer produce, Durability durability) {
    auto s = std::make_unique<State>();
    s->shown = file.path();
    s->folder = file.folder();
    s->name = file.name();
    s->source = &file;
    s->previous = previous;
    s->produce = std::move(produce);
    s->mode = file.status().st_mode & 07777;
    if (file.status().st_nlink == 1) {
        const int error = s->temp.create(s->folder);
        if (error != 0 && !refused(error))
            fail("cannot create a temporary file beside the file", s->shown, error);
        // Owner first, while the file is empty: a change of owner clears set-ID bits and
        // capabilities, which come last.
        if (error == 0 && takeOwner(s->temp.fd.get(), file.status(), s->shown)) {
            writeAll(s->temp.fd.get(), s->produce, s->shown);
            copyExtendedAttributes(file.fd(), s->temp.fd.get(), s->shown);
            if (::fchmod(s->temp.fd.get(), s->mode) != 0)
                fail("cannot set permissions", s->shown, errno);
            if (durability == Durability::Now)
                s->temp.flush(s->shown);
        } else {
            s->temp.drop();  // in place, at commit
        }
    }
    return PendingWrite(std::move(s));
}

PendingWrite PendingWrite::backup(const InputFile& source, std::string_view content,
                                  const fs::path& to, Durability durability) {
    auto s = std::make_unique<State>();
    s->shown = to;
    s->copyOf = &source;
    s->produce = [content](SliceSink& sink) { sink.put(content); };
    // In the folder resolved when the file was opened: the path is resolved once.
    s->folder = source.pathFolder();
    s->name = to.filename().native();
    s->besideItsFile = sameFile(s->folder, source.folder());
    struct stat existing {};  // mode 0: nothing there
    const bool exists = ::fstatat(s->folder, s->name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        fail("cannot open the file", to, errno);
    if (S_ISDIR(existing.st_mode)) {
        fail("a folder has the backup's name", to, EISDIR);
    } else if (S_ISLNK(existing.st_mode)) {
        // The name is the link: it is replaced by the backup, and what it points to is never
        // opened for writing.
        s->regularDestination = false;
    } else if (exists && !S_ISREG(existing.st_mode)) {
        fail("the backup's name is taken by something that is not a file", to, ENOTSUP);
    } else if (const int error = exists ? writeAccess(s->folder, s->name, existing) : 0) {
        fail("backup is read-only", to, error);
    }
    const int error = s->temp.create(s->folder);
    if (error == 0) {
        // Before the content: it is never readable by anyone its source kept out.
        protectBackup(s->temp.fd.get(), source.fd(), source.status(), s->besideItsFile, to);
        writeAll(s->temp.fd.get(), s->produce, to);
        if (durability == Durability::Now)
            s->temp.flush(to);
    } else if (!refused(error) || !exists || !s->regularDestination) {
        fail("cannot create the backup", to, error);
    }
    // Otherwise the folder takes no new file, but the old backup is overwritten at commit.
    return PendingWrite(std::move(s));
}

int PendingWrite::descriptor() const {
    return state_->temp.fd.get();
}

void PendingWrite::flush() {
    if (state_->temp.fd.get() >= 0)
        state_->temp.flush(state_->shown);
}

fs::path PendingWrite::folder() const {
    return (state_->source ? state_->source->target() : state_->shown).parent_path();
}

void PendingWrite::commit() {
    State& s = *state_;
    if (!s.temp.name.empty()) {
        const int error = s.temp.renameOver(s.name, s.shown, s.source);
        if (error == 0)
            return;
        // A folder that lets us write the file but not replace it (a sticky folder, say).
        if (!refused(error) || !s.regularDestination)
            fail("cannot replace the file", s.shown, error);
        s.temp.drop();
    }
    s.writeInPlace();
}

// Overwrites the destination where it stands; see the top of this file.
void PendingWrite::State::writeInPlace() {
    // O_NOFOLLOW: a link put in the file's place meanwhile is never written through.
    Fd fd(::openat(folder, name.c_str(),
                   (source ? O_WRONLY : O_RDWR) | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        const int error = errno;
        if (source)
            source->checkUnchanged();  // gone or replaced meanwhile: that is the news
        fail("cannot open for writing", shown, error);
    }
    struct stat now {};
    if (::fstat(fd.get(), &now) != 0)
        fail("cannot open for writing", shown, errno);
    if (source && (now.st_dev != source->status().st_dev || now.st_ino != source->status().st_ino))
        failChanged(shown);
    if (!S_ISREG(now.st_mode))
        fail("not a regular file", shown, ENOTSUP);
    // The content to put back if a write fails: a rewrite holds it, a backup's is read now.
    Bytes kept;
    if (copyOf) {
        // Another user's file would keep its owner and mode, and show the backup to its owner.
        if (now.st_uid != ::geteuid())
            fail("the backup's name belongs to another user", shown, EPERM);
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
            (void)::ftruncate(fd.get(), static_cast<off_t>(oldSize));
            fail("not enough space", shown, error);
        }
    }
    try {
        writeAll(fd.get(), produce, shown);
        if (size < oldSize && ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0)
            fail("cannot write", shown, errno);
        if (::fsync(fd.get()) != 0)
            fail("cannot write", shown, errno);
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
        (void)::ftruncate(fd.get(), static_cast<off_t>(oldSize));
        (void)::fsync(fd.get());
        restoreAttributes();
        throw;
    }
    restoreAttributes();
    // The file counts as rewritten even when no byte was written (empty before and after).
    (void)::futimens(fd.get(), nullptr);
    if (fd.close() != 0)
        fail("cannot write", shown, errno);
}

}  // namespace qm::files
