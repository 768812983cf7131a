// Placeholder until the safe writer lands.
#include "platform/files.h"

namespace qm::platform {

void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace qm::platform
