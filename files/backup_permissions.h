#pragma once
// Who may read a backup: no one whom its source kept out (see backup_permissions.cpp).

#include <sys/stat.h>

#include <filesystem>

namespace qm::files {

// Gives backup (open, before its content is written) source's owner and group where the process
// may, and source's permissions (its ACL exactly, or its permission bits) without set-ID bits,
// plus write for the owner; what the backup's own group would gain is dropped, and all but the
// owner's permissions unless the backup is beside its source. Failures name shown.
void protectBackup(int backup, int source, const struct stat& sourceStatus, bool besideSource,
                   const std::filesystem::path& shown);

}  // namespace qm::files
