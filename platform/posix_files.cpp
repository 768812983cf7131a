// The one write path for files, on POSIX.
//
// Normal case: the new content goes to "~quillmere-XXXXXX.tmp" in the file's
// own folder, which takes the file's owner, group, extended attributes and
// permission bits; it is flushed with fdatasync and renamed over the file. A
// process killed at any instant leaves the old file or the new one (and at
// worst a leftover "~" temporary, which the folder import passes over).
//
// In-place case: a file with several hard links must stay one inode so that
// every name sees the new content, and a file in a folder where we may not
// create anything cannot be replaced by a new one. Such a file is overwritten
// where it stands: the extra space is reserved first (so a full disk or a file
// size limit fails before the first old byte changes), and if a write fails
// the old content is written back. A process killed in the middle of this
// write can leave the file part new, part old: it is the one case without the
// all-or-nothing guarantee.
#include "platform/files.h"

#include "platform/errors.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

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
// A copy streams through a buffer of this size instead of holding the whole file.
constexpr std::size_t kCopyChunk = std::size_t{8} << 20;
// Short, so that it fits any NAME_MAX, and starting with "~" so the folder import skips it.
constexpr const char* kTempName = "~quillmere-XXXXXX.tmp";
constexpr int kTempSuffixLength = 4;  // ".tmp"

[[noreturn]] void fail(const char* what, const fs::path& path, int error) {
    failWith(what, path, error);
}

// Owns a descriptor; closes it on every way out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    // Closes now and reports the result: some file systems report write errors only here.
    int close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_;
};

int notRegularError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : ENOTSUP;
}

void checkWritable(const fs::path& file, const struct stat& status, const fs::path& shown) {
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
        fail("file is read-only", shown, errno);
    // Root passes every permission check, but a file without a single write bit is meant to
    // stay as it is.
    if (::geteuid() == 0 && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        fail("file is read-only", shown, EACCES);
}

// Gathers slices into writev batches of at most kMaxSlices; checks that exactly the announced
// number of bytes arrives.
class BatchWriter final : public SliceSink {
public:
    BatchWriter(int fd, std::uint64_t expected, const fs::path& shown)
        : fd_(fd), expected_(expected), shown_(shown) {}

    void put(std::string_view bytes) override {
        if (bytes.empty())
            return;
        if (bytes.size() > expected_ - accepted_)
            fail("content longer than announced", shown_, EIO);
        slices_[count_++] = {const_cast<char*>(bytes.data()), bytes.size()};
        accepted_ += bytes.size();
        if (count_ == kMaxSlices)
            flush();
    }

    void flush() override {
        iovec* next = slices_.data();
        int left = count_;
        while (left > 0) {
            const ssize_t n = ::writev(fd_, next, left);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                fail("cannot write", shown_, errno);
            }
            if (n == 0)
                fail("cannot write", shown_, EIO);
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

    void finish() {
        flush();
        if (accepted_ != expected_)
            fail("content shorter than announced", shown_, EIO);
    }

private:
    int fd_;
    std::uint64_t expected_;
    std::uint64_t accepted_ = 0;
    const fs::path& shown_;
    std::array<iovec, kMaxSlices> slices_;
    int count_ = 0;
};

void writeAll(int fd, std::uint64_t size, const Producer& produce, const fs::path& shown) {
    BatchWriter writer(fd, size, shown);
    produce(writer);
    writer.finish();
}

// Where new content goes and what the result must look like.
struct Destination {
    const fs::path& shown;       // named in errors
    const fs::path& file;        // the file itself (a final symbolic link resolved)
    InputFile* existing;         // the file being replaced, or null for a new one
    mode_t mode;                 // permission bits of the result
    bool keepIdentity;           // take owner, group and extended attributes from existing
    std::string_view* previous;  // existing's content when the caller holds it, else null
};

// A temporary file beside the destination, removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const fs::path& folder) {
        std::string name = (folder / kTempName).native();
        fd_ = ::mkostemps(name.data(), kTempSuffixLength, O_CLOEXEC);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        path_ = std::move(name);
    }
    ~TempFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    int error() const { return error_; }

    void renameOver(const fs::path& file, const fs::path& shown) {
        if (::close(std::exchange(fd_, -1)) != 0)
            fail("cannot write", shown, errno);
        if (::rename(path_.c_str(), file.c_str()) != 0)
            fail("cannot replace the file", shown, errno);
        path_.clear();
    }

private:
    int fd_ = -1;
    int error_ = 0;
    std::string path_;
};

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
            fail("file changed while it was read", shown, EIO);
        return static_cast<std::size_t>(n);
    }
}

bool notSupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// Extended attributes (ACLs among them) of from, set on to. Attributes the process may not
// set (another namespace's, say) are passed over; a file system without them is no error.
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
    std::vector<char> value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(length);) {
        const char* name = names.data() + at;
        at += std::char_traits<char>::length(name) + 1;
        hasAccessAcl = hasAccessAcl || std::string_view(name) == "system.posix_acl_access";
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0 && errno == ENODATA)
            continue;
        if (size < 0)
            fail("cannot read extended attributes", shown, errno);
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got < 0)
            fail("cannot read extended attributes", shown, errno);
        if (::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0) != 0 &&
            errno != EPERM && !notSupported(errno))
            fail("cannot copy extended attributes", shown, errno);
    }
    // A default ACL of the folder may have given the new file an ACL the old one lacked.
    if (!hasAccessAcl)
        ::fremovexattr(to, "system.posix_acl_access");
}

void giveIdentity(const Destination& to, int fd) {
    if (to.keepIdentity) {
        const struct stat& old = to.existing->status();
        // Owner first: a change of owner clears set-user-ID bits, which fchmod then restores.
        // Only root may give a file away; then keep at least the group, if we are in it.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            if (errno != EPERM)
                fail("cannot set the owner", to.shown, errno);
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        copyExtendedAttributes(to.existing->fd(), fd, to.shown);
    }
    if (::fchmod(fd, to.mode) != 0)
        fail("cannot set permissions", to.shown, errno);
}

// Writes content back over what a failed in-place write changed. Best effort: the original
// failure is what the caller reports.
void restore(int fd, std::string_view previous) {
    std::size_t done = 0;
    while (done < previous.size()) {
        const ssize_t n =
            ::pwrite(fd, previous.data() + done, std::min(previous.size() - done, kMaxReadChunk),
                     static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    (void)::ftruncate(fd, static_cast<off_t>(previous.size()));
    (void)::fdatasync(fd);
}

void writeInPlace(const Destination& to, std::uint64_t size, const Producer& produce,
                  std::string_view previous) {
    Descriptor fd(::open(to.file.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        fail("cannot open for writing", to.shown, errno);
    const std::uint64_t oldSize = previous.size();
    if (size > oldSize) {
        // Reserve the extra space beyond the old content, which stays untouched, so that a
        // full disk or a file size limit fails here, before the first old byte changes.
        const int error = ::posix_fallocate(fd.get(), static_cast<off_t>(oldSize),
                                            static_cast<off_t>(size - oldSize));
        if (error != 0) {
            (void)::ftruncate(fd.get(), static_cast<off_t>(oldSize));
            fail("not enough space", to.shown, error);
        }
    }
    try {
        writeAll(fd.get(), size, produce, to.shown);
        if (size < oldSize && ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0)
            fail("cannot write", to.shown, errno);
        if (::fdatasync(fd.get()) != 0)
            fail("cannot write", to.shown, errno);
    } catch (...) {
        // A kill before this point can leave the file mixed; a failure does not.
        restore(fd.get(), previous);
        throw;
    }
    if (!to.keepIdentity)
        (void)::fchmod(fd.get(), to.mode);  // a copy takes its source's bits where we may
    // The file counts as rewritten even when no byte was written (empty before and after).
    (void)::futimens(fd.get(), nullptr);
    if (fd.close() != 0)
        fail("cannot write", to.shown, errno);
}

void writeSafely(const Destination& to, std::uint64_t size, const Producer& produce) {
    const bool linked = to.existing && to.existing->status().st_nlink > 1;
    if (!linked) {
        TempFile temp(to.file.parent_path());
        if (temp.fd() >= 0) {
            giveIdentity(to, temp.fd());
            writeAll(temp.fd(), size, produce, to.shown);
            if (::fdatasync(temp.fd()) != 0)
                fail("cannot write", to.shown, errno);
            temp.renameOver(to.file, to.shown);
            return;
        }
        // A folder we may not write to: an existing file can still be overwritten in place.
        const int error = temp.error();
        if (!to.existing || (error != EACCES && error != EPERM))
            fail("cannot create a temporary file beside the file", to.shown, error);
    }
    if (to.previous) {
        writeInPlace(to, size, produce, *to.previous);
        return;
    }
    Bytes kept = to.existing->readAll();
    writeInPlace(to, size, produce, kept.view());
}

}  // namespace

Bytes::Bytes(std::size_t size) : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

InputFile::InputFile(const fs::path& path, Purpose purpose) : path_(path), target_(path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0)
        fail("cannot open", path, errno);
    if (S_ISLNK(link.st_mode)) {
        // The link stays; its target is the file to read and replace.
        std::error_code error;
        target_ = fs::canonical(path, error);
        if (error)
            throw FileError(path, "cannot follow the symbolic link", error);
    }
    // Stat before open: opening a FIFO or a device could block or have effects.
    struct stat status {};
    if (::stat(target_.c_str(), &status) != 0)
        fail("cannot open", path, errno);
    if (!S_ISREG(status.st_mode))
        fail("not a regular file", path, notRegularError(status.st_mode));
    if (purpose == Purpose::Rewrite)
        checkWritable(target_, status, path);
    Descriptor fd(::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        fail("cannot open", path, errno);
    // Again on what was opened, in case the name changed hands in between.
    if (::fstat(fd.get(), &status_) != 0)
        fail("cannot open", path, errno);
    if (!S_ISREG(status_.st_mode))
        fail("not a regular file", path, notRegularError(status_.st_mode));
    fd_ = fd.release();
}

InputFile::~InputFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

Bytes InputFile::readAll() {
    const auto size = static_cast<std::uint64_t>(status_.st_size);
    Bytes bytes;
    try {
        if (size > PTRDIFF_MAX)
            throw std::bad_alloc();
        bytes = Bytes(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        fail("not enough memory to read the file", path_, ENOMEM);
    }
    for (std::size_t got = 0; got < size;) {
        got += readAt(fd_, bytes.data() + got, std::min(size - got, kMaxReadChunk), got, path_);
    }
    return bytes;
}

void rewriteFile(InputFile& file, std::uint64_t size, const Producer& produce,
                 std::string_view previous) {
    writeSafely({file.path(), file.target(), &file, file.status().st_mode & 07777, true, &previous},
                size, produce);
}

namespace {

void copyFileSafely(const fs::path& from, const fs::path& to) {
    InputFile source(from, InputFile::Purpose::Read);
    std::optional<InputFile> existing;
    struct stat link {};
    if (::lstat(to.c_str(), &link) == 0)
        existing.emplace(to, InputFile::Purpose::Rewrite);
    else if (errno != ENOENT)
        fail("cannot open", to, errno);

    const auto size = static_cast<std::uint64_t>(source.status().st_size);
    Bytes chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyChunk)));
    // Streams the source through one buffer: the copy needs no memory for the whole file.
    const Producer copy = [&](SliceSink& sink) {
        std::uint64_t done = 0;
        while (done < size) {
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - done, chunk.view().size()));
            const std::size_t n = readAt(source.fd(), chunk.data(), want, done, from);
            sink.put({chunk.data(), n});
            sink.flush();
            done += n;
        }
    };
    const fs::path& file = existing ? existing->target() : to;
    // A backup takes its source's permission bits, not set-user-ID and the like.
    const mode_t mode = source.status().st_mode & 0777;
    writeSafely({to, file, existing ? &*existing : nullptr, mode, false, nullptr}, size, copy);
}

}  // namespace

void copyFile(const fs::path& from, const fs::path& to) {
    try {
        copyFileSafely(from, to);
    } catch (const std::bad_alloc&) {
        // Any temporary file is gone and the backup untouched.
        fail("not enough memory to copy the file", from, ENOMEM);
    }
}

}  // namespace qm::platform
