// Only root may give a file away, and an owner only to a group of their own: a file whose owner
// or group a new file could not take is rewritten in place instead (in_place.cpp).
#include "files/copy_attributes.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/attributes.h"
#include "files/file_error.h"

namespace qm::files {

namespace fs = std::filesystem;

bool takeOwner(int fd, const struct stat& old, const fs::path& shown) {
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        failWith("cannot write", shown, errno);
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid)
        return true;
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return true;
    if (errno == EPERM)
        return false;
    failWith("cannot set the owner", shown, errno);
}

// Attributes the process may not set (another namespace's, say) are passed over; a file system
// without them is no error.
void copyExtendedAttributes(int from, int to, const fs::path& shown) {
    ssize_t length = ::flistxattr(from, nullptr, 0);
    if (length < 0 && notSupported(errno))
        return;
    if (length < 0)
        failWith("cannot read extended attributes", shown, errno);
    std::vector<char> names(static_cast<std::size_t>(length));
    if (length > 0 && (length = ::flistxattr(from, names.data(), names.size())) < 0)
        failWith("cannot read extended attributes", shown, errno);
    bool hasAccessAcl = false;
    for (std::size_t at = 0; at < static_cast<std::size_t>(length);) {
        const char* name = names.data() + at;
        at += std::char_traits<char>::length(name) + 1;
        hasAccessAcl = hasAccessAcl || std::string_view(name) == kAccessAcl;
        const std::optional<std::string> value = attribute(from, name, shown);
        if (value && ::fsetxattr(to, name, value->data(), value->size(), 0) != 0 &&
            errno != EPERM && !notSupported(errno))
            failWith("cannot copy extended attributes", shown, errno);
    }
    // A default ACL of the folder may have given the new file an ACL the old one lacked.
    if (!hasAccessAcl)
        ::fremovexattr(to, kAccessAcl);
}

}  // namespace qm::files
