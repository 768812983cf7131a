// Placeholder until the dialogs land.
#include "platform/qt_file_dialogs.h"

namespace qm::platform {
std::string QtFileDialogs::showOpen(std::uint32_t, std::string_view, std::string_view) { return {}; }
std::filesystem::path QtFileDialogs::browseForFolder(std::string_view) { return {}; }
}  // namespace qm::platform
