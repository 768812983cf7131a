#pragma once
// Replacing one exact text with another, in memory and in a file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace qm::replace {

// Every non-overlapping occurrence of find in content, scanning left to right,
// replaced by replacement; bytes compared exactly. An empty find text leaves
// the content unchanged.
std::string replaceAll(std::string_view content, std::string_view find,
                       std::string_view replacement);

// Number of non-overlapping occurrences of find in content (0 for an empty find text).
std::uint64_t countMatches(std::string_view content, std::string_view find);

// Size in bytes of replaceAll's result, computed without building it.
std::uint64_t replacedSize(std::string_view content, std::string_view find,
                           std::string_view replacement);

// Emits replaceAll's result into sink as slices of content and of replacement, copying nothing.
void emitReplaced(std::string_view content, std::string_view find, std::string_view replacement,
                  platform::SliceSink& sink);

// Rewrites the file at path with every occurrence of find replaced. The file is
// rewritten even when nothing matches. Throws platform::FileError
// (a std::system_error) naming the path; the file then keeps its old content.
void ReplaceInFile(const std::filesystem::path& path, std::string_view find,
                   std::string_view replacement);

}  // namespace qm::replace
