// The check by name goes through the folder's descriptor and follows no link, so it is about the
// file that is then opened in the same folder.
#include "files/write_access.h"

#include <fcntl.h>
#include <unistd.h>

namespace qm::files {

int writeAccess(int folder, const std::string& name, const struct stat& status) {
    if (::faccessat(folder, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 && ::geteuid() == 0)
        return EACCES;
    return 0;
}

}  // namespace qm::files
