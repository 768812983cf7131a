#pragma once
// Reading extended attributes, for the write path: a rewrite keeps its file's, a backup takes its
// source's ACL. A file system without them, or without that kind, is no error: the file has none.

#include <filesystem>
#include <optional>
#include <string>

namespace qm::files {

// The name of a file's ACL among its extended attributes.
inline constexpr const char* kAccessAcl = "system.posix_acl_access";

// One extended attribute's value, or nothing if the file has none of that name.
std::optional<std::string> attribute(int fd, const char* name, const std::filesystem::path& shown);

// True for the errors of a file system without extended attributes, or without that kind.
bool notSupported(int error);

}  // namespace qm::files
