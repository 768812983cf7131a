// Placeholder until the folder import lands.
#include "queue/add_folder.h"

namespace qm::queue {
void importFolder(FileQueue&, platform::FileDialogs&, platform::MessageBoxes&) {}
}  // namespace qm::queue
