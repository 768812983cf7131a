#pragma once
// Whether the process may write a file, asked before anything is created or changed, so that a
// read-only file fails as such before a run touches it. Root passes every permission check, but a
// file without a single write bit is meant to stay as it is, and root leaves it too.

#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace qm::files {

// 0 when the process may write the file name in folder (whose status is status), else the error.
int writeAccess(int folder, const std::string& name, const struct stat& status);

// True for an error that refuses permission, rather than one that says something went wrong.
inline bool refused(int error) {
    return error == EACCES || error == EPERM;
}

}  // namespace qm::files
