#pragma once
// The persisted backup option: "BackupCheck" under section "Quillmere".

#include <string_view>

#include "platform/settings_store.h"

namespace qm::window {

inline constexpr std::string_view kOptionSection = "Quillmere";
inline constexpr std::string_view kOptionKey = "BackupCheck";

// Whether the box starts ticked: only the exact text "True" ticks it.
bool restoreBackupOption(const platform::SettingsStore& store);

// Writes "True" or "False"; throws std::system_error when the store cannot keep it.
void saveBackupOption(platform::SettingsStore& store, bool ticked);

}  // namespace qm::window
