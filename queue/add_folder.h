#pragma once
// Importing every file of a folder tree into the queue.

#include <string_view>

#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "queue/file_queue.h"

namespace qm::queue {

inline constexpr std::string_view kFolderPrompt = "Please select folder to add:";

// Asks for a folder and appends the files of its whole tree, level by level,
// asking before each name that does not look like an HTML or text file.
void importFolder(FileQueue& queue, platform::FileDialogs& dialogs,
                  platform::MessageBoxes& boxes);

}  // namespace qm::queue
