// The file is checked before it is opened (opening a FIFO or a device could block or have
// effects), opened without following a link, and checked again through the descriptor.
#include "files/input_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

#include "files/file_error.h"
#include "files/paths.h"
#include "files/write_access.h"

namespace qm::files {

namespace fs = std::filesystem;

void failChanged(const fs::path& path) {
    failWith("file changed while it was being rewritten", path, ECANCELED);
}

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
        failWith("cannot open the file", path, ENOENT);
    folder_ = std::move(place.folder);
    name_ = std::move(place.name);
    // Checked before open: opening a FIFO or a device could block or have effects.
    const struct stat& status = *place.status;
    const auto checkRegular = [&](const struct stat& st) {
        if (!S_ISREG(st.st_mode))
            failWith("not a regular file", path, S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP);
    };
    checkRegular(status);
    // Only a refusal makes a file read-only; one that vanished meanwhile, say, could not be opened.
    if (const int error = writeAccess(folder_.get(), name_, status))
        failWith(refused(error) || error == EROFS ? "file is read-only" : "cannot open the file",
                 path, error);
    fd_ = Fd(::openat(folder_.get(), name_.c_str(),
                      O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (fd_.get() < 0)
        failWith("cannot open the file", path, errno);
    // What was opened must be what was checked (a link was followed for its target's owner).
    if (::fstat(fd_.get(), &status_) != 0)
        failWith("cannot open the file", path, errno);
    checkRegular(status_);
    if (!sameFile(status_, status))
        failWith("file changed while it was read", path, ECANCELED);
}

Bytes InputFile::readAll() const {
    return readWhole(fd_.get(), static_cast<std::uint64_t>(status_.st_size), path_);
}

void InputFile::checkUnchanged() const {
    struct stat now {
    }, named{};
    if (::fstat(fd_.get(), &now) != 0)
        failWith("cannot read", path_, errno);
    const bool same = now.st_size == status_.st_size &&
                      now.st_mtim.tv_sec == status_.st_mtim.tv_sec &&
                      now.st_mtim.tv_nsec == status_.st_mtim.tv_nsec &&
                      ::fstatat(folder_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                      sameFile(named, status_);
    if (!same)
        failChanged(path_);
}

}  // namespace qm::files
