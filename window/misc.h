#pragma once
// Small helpers of the main window: file checks and window placement.

#include <filesystem>

class QWidget;

namespace qm::window {

// True when the file system can report the path's last-modified time; never fails.
bool PathExists(const std::filesystem::path& path) noexcept;

// The folder that holds the running program; empty when it cannot be found. Needs a
// QCoreApplication.
std::filesystem::path ProgramFolder();

// Centres the window, frame included, on the whole primary screen; may go negative.
void CenterOnScreen(QWidget& window);

}  // namespace qm::window
