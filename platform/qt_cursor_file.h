#pragma once
// Reading a Windows cursor file (.cur) into a Qt cursor.

#include <QCursor>
#include <filesystem>
#include <optional>

namespace qm::platform {

// The cursor in file, with the hotspot of its first image; nothing when the
// file cannot be read or is not a valid cursor file. Needs a QGuiApplication.
std::optional<QCursor> readCursorFile(const std::filesystem::path& file);

}  // namespace qm::platform
