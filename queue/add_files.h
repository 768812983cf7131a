#pragma once
// Adding files chosen in the open-file dialog.

#include <cstdint>
#include <string_view>

#include "platform/file_dialogs.h"
#include "queue/file_queue.h"

namespace qm::queue {

inline constexpr std::uint32_t kOpenFlags = 0x280201;
inline constexpr std::string_view kOpenTitle = "Add File(s) - Hold Ctrl to select multiple files";
inline constexpr std::string_view kOpenFilter =
    "HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|";

// Shows the open-file dialog and appends every chosen file with "Queued".
void addFilesFromDialog(FileQueue& queue, platform::FileDialogs& dialogs);

}  // namespace qm::queue
