#pragma once
// What a new file takes from the file it replaces, so that a rewrite changes the content and
// nothing else: owner and group, extended attributes (ACLs and file capabilities among them), and
// the permission bits (set by the caller). The order matters, because the kernel clears set-ID
// bits and capabilities on a change of owner and on a write: owner first, while the new file is
// empty; then the content; then the attributes and the permission bits, last.

#include <sys/stat.h>

#include <filesystem>

namespace qm::files {

// Gives fd the owner and group of old; false when that is not allowed. Failures name shown.
bool takeOwner(int fd, const struct stat& old, const std::filesystem::path& shown);

// Sets on to the extended attributes of from, and no access ACL from has not. Failures name shown.
void copyExtendedAttributes(int from, int to, const std::filesystem::path& shown);

}  // namespace qm::files
