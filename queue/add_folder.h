#pragma once
// Importing every file of a folder tree into the queue (module AddFolder).
// Listing order: ASCII letters folded, ties broken by the bytes. A hidden
// entry is one whose name begins with ".".

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "files/dir_listing.h"
#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "queue/file_queue.h"

namespace qm::queue {

inline constexpr std::string_view kFolderPrompt = "Please select folder to add:";
// Follows the name in the question asked about a file that does not look like HTML or text.
inline constexpr std::string_view kNotTextQuestion =
    " is not a .htm .html or .txt file. Do you want to load it into the list of files to "
    "extract from?";

// The names of one folder at positions lower()..upper(), counted in 32 bits.
// It starts with room for positions 1 to 100 and grows by 50 when a name does
// not fit; finish() cuts it to 1..count, or to the single empty position 0.
class NameArray {
public:
    NameArray();
    // Stores name at the next position, growing the array when it is full.
    void add(std::string name);
    // Cuts the array to the names stored (position 0 alone when there are none).
    void finish();
    std::int32_t lower() const { return lower_; }
    std::int32_t upper() const { return upper_; }
    // The name at position (lower()..upper()); throws std::out_of_range otherwise.
    const std::string& operator[](std::int32_t position) const;

private:
    std::vector<std::string> slots_;  // slots_[0] is position lower_
    std::int32_t lower_ = 1;
    std::int32_t upper_ = 100;
    std::int32_t count_ = 0;
};

// Shows the folder picker; an empty path when cancelled.
std::filesystem::path BrowseForFolder(platform::FileDialogs& dialogs, std::string_view prompt);

// The files of each folder read while the tree is walked, by the folder's index.
using FilesSeen = std::vector<std::vector<files::DirEntry>>;

// Appends the folders below folders, level by level (all levels if recurse), skipping hidden
// ones; keeps every folder's files in seen, so that they need not be read again.
void CollectSubfolders(std::vector<std::filesystem::path>& folders, bool recurse,
                       files::DirListing& listing, FilesSeen& seen);

// Names of all of folder's regular files (or links to them), in listing order.
NameArray ListFolderFiles(const std::filesystem::path& folder, files::DirListing& listing);

// Asks for a folder and queues its tree's files as listing reads them, passing over names that
// begin with "~" or end with the backup suffix; asks about names that do not look like text.
void importFolder(FileQueue& queue, platform::FileDialogs& dialogs, platform::MessageBoxes& boxes,
                  files::DirListing& listing);

// Queues the files of the tree below folder as importFolder does a chosen one; false when the
// user cancelled a question.
bool importFolderTree(FileQueue& queue, const std::filesystem::path& folder,
                      platform::MessageBoxes& boxes, files::DirListing& listing);

// Queues files and folders handed to the program (dropped on the list, given on its command
// line), in the order given: a file as the file dialog queues it, with "Queued"; a folder as
// importFolder imports a chosen one. Cancel in a question ends it all.
void addGiven(FileQueue& queue, const std::vector<std::filesystem::path>& given,
              platform::MessageBoxes& boxes, files::DirListing& listing);

}  // namespace qm::queue
