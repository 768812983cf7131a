#include "replace/replace_run.h"

#include <string>

#include "platform/files.h"
#include "replace/replace_text.h"

namespace qm::replace {

namespace {

// Holds the hourglass for the life of the run and leaves the arrow behind,
// however the run ends.
class BusyPointer {
public:
    explicit BusyPointer(platform::WindowPort& window) : window_(window) {
        window_.setPointer(platform::Pointer::Hourglass);
    }
    ~BusyPointer() { window_.setPointer(platform::Pointer::Arrow); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    platform::WindowPort& window_;
};

}  // namespace

std::filesystem::path backupPath(const std::filesystem::path& file) {
    // Appended to the native bytes, so a name that is not valid UTF-8 keeps them.
    std::string bytes = file.native();
    bytes += kBackupSuffix;
    return std::filesystem::path(std::move(bytes));
}

void runReplace(queue::FileQueue& queue, platform::WindowPort& window,
                platform::MessageBoxes& boxes) {
    const BusyPointer busy(window);
    const std::size_t rows = queue.count();
    for (std::size_t row = 1; row <= rows; ++row) {
        const std::filesystem::path path = queue.path(row);
        if (window.backupChecked()) {
            platform::copyFile(path, backupPath(path));
        }
        const std::string find = window.findText();
        const std::string replacement = window.replaceText();
        ReplaceInFile(path, find, replacement);
        queue.setStatus(row, queue::kDone);
    }
    if (queue.count() == 0) {
        boxes.show(kNoFiles, platform::Buttons::Ok);
    } else {
        window.setTitle(std::string(platform::kTitle) + std::string(kDoneSuffix));
    }
}

}  // namespace qm::replace
