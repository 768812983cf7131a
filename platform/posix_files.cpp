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
#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
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

#include "platform/errors.h"

namespace qm::platform {

namespace fs = std::filesystem;

namespace {

#ifdef IOV_MAX
constexpr int kMaxSlices = IOV_MAX;
#else
constexpr int kMaxSlices = UIO_MAXIOV;
#endif

// read() transfers at most about 2 GiB a call; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;
// Short, so that it fits any NAME_MAX, and starting with "~" so the folder import skips it.
constexpr const char* kTempName = "~quillmere-XXXXXX.tmp";
constexpr int kTempSuffixLength = 4;  // ".tmp"
constexpr const char* kCapabilities = "security.capability";
constexpr const char* kAccessAcl = "system.posix_acl_access";

[[noreturn]] void fail(const char* reason, const fs::path& path, int error) {
    failWith(reason, path, error);
}

[[noreturn]] void failChanged(const fs::path& path) {
    fail("file changed while it was being rewritten", path, ECANCELED);
}

bool refused(int error) {
    return error == EACCES || error == EPERM;
}

bool notSupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// 0 when the process may write file, else the error. Root passes every permission check, but
// a file without a single write bit is meant to stay as it is.
int writeAccess(const fs::path& file, const struct stat& status) {
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
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
    std::string path;
    std::uint64_t ticket = 0;  // with a group flush: when it was written

    TempFile() = default;
    TempFile(TempFile&& other) noexcept
        : fd(std::move(other.fd)), path(std::exchange(other.path, {})), ticket(other.ticket) {}
    TempFile& operator=(TempFile&& other) noexcept {
        drop();
        fd = std::move(other.fd);
        path = std::exchange(other.path, {});
        ticket = other.ticket;
        return *this;
    }
    ~TempFile() { drop(); }

    // Creates it in folder; returns 0, or the error that prevented it.
    int create(const fs::path& folder) {
        std::string name = (folder / kTempName).native();
        const int made = ::mkostemps(name.data(), kTempSuffixLength, O_CLOEXEC);
        if (made < 0)
            return errno;
        fd = Fd(made);
        path = std::move(name);
        return 0;
    }
    // The content is written: flushed to disk now, or noted with the group to flush at commit.
    void finish(GroupFlush* group, const fs::path& shown) {
        if (group)
            ticket = group->written();
        else if (::fsync(fd.get()) != 0)
            fail("cannot write", shown, errno);
    }
    // On disk and closed, then renamed over file; returns 0, or rename's error (the temporary
    // file then stays).
    int renameOver(const fs::path& file, GroupFlush* group, const fs::path& shown) {
        if (group)
            group->through(ticket, fd.get(), shown);
        if (fd.close() != 0)
            fail("cannot write", shown, errno);
        if (::rename(path.c_str(), file.c_str()) != 0)
            return errno;
        path.clear();
        return 0;
    }
    void drop() {
        fd = Fd();
        if (!path.empty())
            ::unlink(path.c_str());
        path.clear();
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

// One extended attribute's value, or nothing if the file has none of that name.
std::optional<std::string> attribute(int fd, const char* name, const fs::path& shown) {
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0 && (errno == ENODATA || notSupported(errno)))
            return std::nullopt;
        if (size < 0)
            fail("cannot read extended attributes", shown, errno);
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return value;
        }
        if (errno != ERANGE)  // grown meanwhile: ask again
            fail("cannot read extended attributes", shown, errno);
    }
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

std::uint64_t GroupFlush::written() {
    return ++written_;
}

void GroupFlush::through(std::uint64_t ticket, int fd, const fs::path& shown) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail("cannot write", shown, errno);
    const std::lock_guard lock(mutex_);
    std::uint64_t& flushed = flushed_[st.st_dev];
    if (ticket <= flushed)
        return;
    // Every file noted so far was written before the flush starts.
    const std::uint64_t now = written_;
    if (::syncfs(fd) != 0)
        fail("cannot write", shown, errno);
    flushed = now;
}

Bytes::Bytes(std::size_t size) : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

InputFile::InputFile(const fs::path& path) : path_(path), target_(path) {
    // Stat before open: opening a FIFO or a device could block or have effects.
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        fail("cannot open", path, errno);
    if (S_ISLNK(status.st_mode)) {
        // The link stays; its target is the file to read and replace.
        std::error_code error;
        target_ = fs::canonical(path, error);
        if (error)
            throw FileError(path, "cannot follow the symbolic link", error);
        if (::stat(target_.c_str(), &status) != 0)
            fail("cannot open", path, errno);
    }
    const auto checkRegular = [&](const struct stat& st) {
        if (!S_ISREG(st.st_mode))
            fail("not a regular file", path, S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP);
    };
    checkRegular(status);
    if (const int error = writeAccess(target_, status))
        fail("file is read-only", path, error);
    fd_ = Fd(::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd_.get() < 0)
        fail("cannot open", path, errno);
    // Again on what was opened, in case the name changed hands in between.
    if (::fstat(fd_.get(), &status_) != 0)
        fail("cannot open", path, errno);
    checkRegular(status_);
}

Bytes InputFile::readAll() const {
    return readWhole(fd_.get(), static_cast<std::uint64_t>(status_.st_size), path_);
}

void InputFile::checkUnchanged() const {
    struct stat now {
    }, named{};
    if (::fstat(fd_.get(), &now) != 0)
        fail("cannot read", path_, errno);
    const bool same =
        now.st_size == status_.st_size && now.st_mtim.tv_sec == status_.st_mtim.tv_sec &&
        now.st_mtim.tv_nsec == status_.st_mtim.tv_nsec && ::stat(target_.c_str(), &named) == 0 &&
        named.st_dev == status_.st_dev && named.st_ino == status_.st_ino;
    if (!same)
        failChanged(path_);
}

// ---------------------------------------------------------------------------

struct PendingWrite::State {
    fs::path shown;                     // named in errors
    fs::path file;                      // the destination itself (a final link resolved)
    const InputFile* source = nullptr;  // a rewrite's file: checked, and its attributes kept
    std::string_view previous;          // a rewrite's content as read
    Producer produce;                   // the new content
    mode_t mode = 0;                    // the destination's permission bits
    TempFile temp;                      // the prepared content, unless it goes in place
    GroupFlush* group = nullptr;        // flushes the temporary file at commit, if given
    bool regularDestination = true;     // false: a link that commit replaces, never follows

    void writeInPlace();
};

PendingWrite::PendingWrite(std::unique_ptr<State> state) : state_(std::move(state)) {}
PendingWrite::PendingWrite(PendingWrite&&) noexcept = default;
PendingWrite& PendingWrite::operator=(PendingWrite&&) noexcept = default;
PendingWrite::~PendingWrite() = default;

PendingWrite PendingWrite::rewrite(const InputFile& file, std::string_view previous,
                                   Producer produce, GroupFlush* group) {
    auto s = std::make_unique<State>();
    s->group = group;
    s->shown = file.path();
    s->file = file.target();
    s->source = &file;
    s->previous = previous;
    s->produce = std::move(produce);
    s->mode = file.status().st_mode & 07777;
    if (file.status().st_nlink == 1) {
        const int error = s->temp.create(s->file.parent_path());
        if (error != 0 && !refused(error))
            fail("cannot create a temporary file beside the file", s->shown, error);
        // Owner first, while the file is empty: a change of owner clears set-ID bits and
        // capabilities, which come last.
        if (error == 0 && takeOwner(s->temp.fd.get(), file.status(), s->shown)) {
            writeAll(s->temp.fd.get(), s->produce, s->shown);
            copyExtendedAttributes(file.fd(), s->temp.fd.get(), s->shown);
            if (::fchmod(s->temp.fd.get(), s->mode) != 0)
                fail("cannot set permissions", s->shown, errno);
            s->temp.finish(group, s->shown);
        } else {
            s->temp.drop();  // in place, at commit
        }
    }
    return PendingWrite(std::move(s));
}

PendingWrite PendingWrite::backup(const InputFile& source, std::string_view content,
                                  const fs::path& to, GroupFlush* group) {
    auto s = std::make_unique<State>();
    s->group = group;
    s->shown = to;
    s->file = to;
    s->produce = [content](SliceSink& sink) { sink.put(content); };
    // The source's permission bits, without set-ID bits, and writable by its owner, so that a
    // later run can replace it.
    s->mode = (source.status().st_mode & 0777) | S_IWUSR;
    struct stat existing {};
    bool exists = true;
    if (::lstat(to.c_str(), &existing) != 0) {
        if (errno != ENOENT)
            fail("cannot open", to, errno);
        exists = false;
    } else if (S_ISDIR(existing.st_mode)) {
        fail("a folder has the backup's name", to, EISDIR);
    } else if (S_ISLNK(existing.st_mode)) {
        // The name is the link: it is replaced by the backup, and what it points to is never
        // opened for writing.
        s->regularDestination = false;
    } else if (!S_ISREG(existing.st_mode)) {
        fail("the backup's name is taken by something that is not a file", to, ENOTSUP);
    } else if (const int error = writeAccess(to, existing)) {
        fail("backup is read-only", to, error);
    }
    const int error = s->temp.create(to.parent_path());
    if (error == 0) {
        writeAll(s->temp.fd.get(), s->produce, to);
        if (::fchmod(s->temp.fd.get(), s->mode) != 0)
            fail("cannot set permissions", to, errno);
        s->temp.finish(group, to);
    } else if (!refused(error) || !exists || !s->regularDestination) {
        fail("cannot create the backup", to, error);
    }
    // Otherwise the folder takes no new file, but the old backup is overwritten at commit.
    return PendingWrite(std::move(s));
}

void PendingWrite::commit() {
    State& s = *state_;
    if (s.source)
        s.source->checkUnchanged();
    if (!s.temp.path.empty()) {
        const int error = s.temp.renameOver(s.file, s.group, s.shown);
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
    Fd fd(::open(file.c_str(),
                 (source ? O_WRONLY : O_RDWR) | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        fail("cannot open for writing", shown, errno);
    struct stat now {};
    if (::fstat(fd.get(), &now) != 0)
        fail("cannot open for writing", shown, errno);
    if (source && (now.st_dev != source->status().st_dev || now.st_ino != source->status().st_ino))
        failChanged(shown);
    if (!S_ISREG(now.st_mode))
        fail("not a regular file", shown, ENOTSUP);
    // The content to put back if a write fails: a rewrite holds it, a backup's is read now.
    Bytes kept;
    if (!source) {
        kept = readWhole(fd.get(), static_cast<std::uint64_t>(now.st_size), shown);
        previous = kept.view();
    }
    // A write clears capabilities and (unless root) set-ID bits; they are put back after it.
    const std::optional<std::string> capabilities =
        source ? attribute(source->fd(), kCapabilities, shown) : std::nullopt;
    const auto restoreAttributes = [&] {
        if (capabilities)
            (void)::fsetxattr(fd.get(), kCapabilities, capabilities->data(), capabilities->size(),
                              0);
        (void)::fchmod(fd.get(), mode);  // where we may: the owner, or root
    };

    CountingSink counter;
    produce(counter);
    const std::uint64_t size = counter.total;
    const std::uint64_t oldSize = previous.size();
    if (size > oldSize) {
        // Reserve the extra space beyond the old content, which stays untouched, so that a
        // full disk or a file size limit fails here, before the first old byte changes.
        const int error = ::posix_fallocate(fd.get(), static_cast<off_t>(oldSize),
                                            static_cast<off_t>(size - oldSize));
        if (error != 0) {
            // Best effort: the missing space is what is reported.
            static_cast<void>(::ftruncate(fd.get(), static_cast<off_t>(oldSize)) == 0);
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
        static_cast<void>(::ftruncate(fd.get(), static_cast<off_t>(oldSize)) == 0);
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

}  // namespace qm::platform
