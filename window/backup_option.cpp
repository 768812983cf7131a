#include "window/backup_option.h"

namespace qm::window {

bool restoreBackupOption(const platform::SettingsStore& store) {
    return store.read(kOptionSection, kOptionKey) == "True";
}

void saveBackupOption(platform::SettingsStore& store, bool ticked) {
    store.write(kOptionSection, kOptionKey, ticked ? "True" : "False");
}

}  // namespace qm::window
