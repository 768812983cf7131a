// Extended attributes read whole, whatever their size, by the write path (a rewrite keeps its
// file's, a backup takes its source's ACL).
#include <sys/xattr.h>

#include <cerrno>

#include "files/attributes.h"
#include "files/file_error.h"

namespace qm::files {

namespace fs = std::filesystem;

bool notSupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

std::optional<std::string> attribute(int fd, const char* name, const fs::path& shown) {
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0 && (errno == ENODATA || notSupported(errno)))
            return std::nullopt;
        if (size < 0)
            failWith("cannot read extended attributes", shown, errno);
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return value;
        }
        if (errno != ERANGE)  // grown meanwhile: ask again
            failWith("cannot read extended attributes", shown, errno);
    }
}

}  // namespace qm::files
