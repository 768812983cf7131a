#pragma once
// Folder listings for the folder import, behind an interface so that the import can be tested
// over made-up trees. Names are the file system's bytes, never recoded, so that every file can
// be opened again by the name listed.

#include <filesystem>
#include <string>
#include <vector>

namespace qm::files {

// What an entry is, as the import needs to know it. A symbolic link counts as
// what it points to when that is a regular file, and as Other otherwise: links
// to folders are never entered.
enum class EntryKind { Folder, File, Other };

struct DirEntry {
    std::string name;  // bare name, no folder part
    EntryKind kind;
};

class DirListing {
public:
    virtual ~DirListing() = default;
    // Entries but "." and ".."; none if folder cannot be listed; unreadable entries left out.
    virtual std::vector<DirEntry> list(const std::filesystem::path& folder) = 0;
};

// The listing over the POSIX directory calls.
class PosixDirListing final : public DirListing {
public:
    std::vector<DirEntry> list(const std::filesystem::path& folder) override;
};

}  // namespace qm::files
