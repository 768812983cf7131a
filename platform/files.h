#pragma once
// The program's one write path for files. Every failure throws
// std::filesystem::filesystem_error carrying the path and the system's error.

#include <filesystem>

namespace qm::platform {

// Copies the regular file from to to, written the same safe way as a rewrite:
// to ends up holding either its old content or the complete copy. The copy
// gets from's permission bits. An existing to is replaced.
void copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qm::platform
