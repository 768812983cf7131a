#pragma once
// The batch replace run behind the "Replace Text" button.

#include <filesystem>
#include <string_view>

#include "platform/message_boxes.h"
#include "platform/window_port.h"
#include "queue/file_queue.h"

namespace qm::replace {

inline constexpr std::string_view kBackupSuffix = " BACKUP.htm";
// Follows the program's title once a run over a non-empty queue has finished.
inline constexpr std::string_view kDoneSuffix = " [ Done! ]";
inline constexpr std::string_view kNoFiles = "No files added.";

// The backup's path: the file's whole path with the suffix appended as bytes.
std::filesystem::path backupPath(const std::filesystem::path& file);

// Rewrites every queued file in order, backing each up first when the window's
// backup box is ticked, and marks its row "Done". The pointer is the hourglass
// during the run and the arrow after it, also when a failure ends the run: the
// failure then propagates (a std::system_error naming the file) and the rows
// from the failing one on keep their status.
void runReplace(queue::FileQueue& queue, platform::WindowPort& window,
                platform::MessageBoxes& boxes);

}  // namespace qm::replace
