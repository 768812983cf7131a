#include "window/guarded.h"

#include <filesystem>
#include <system_error>

namespace qm::window {

std::string failureText(const std::exception& failure) {
    if (const auto* fsError = dynamic_cast<const std::filesystem::filesystem_error*>(&failure)) {
        std::string text;
        for (const auto* path : {&fsError->path1(), &fsError->path2()}) {
            if (!path->empty()) {
                text += path->native();
                text += '\n';
            }
        }
        return text + fsError->code().message();
    }
    if (const auto* systemError = dynamic_cast<const std::system_error*>(&failure)) {
        return systemError->code().message();
    }
    return failure.what();
}

void runGuarded(platform::MessageBoxes& boxes, const std::function<void()>& handler) noexcept {
    std::string text;
    try {
        handler();
        return;
    } catch (const std::exception& failure) {
        try {
            text = failureText(failure);
        } catch (...) {
            text = "An error occurred.";
        }
    } catch (...) {
        text = "An error occurred.";
    }
    // A box that cannot even be shown leaves nothing more to do: the program
    // must stay open either way.
    try {
        boxes.show(text, platform::Buttons::Ok);
    } catch (...) {
    }
}

}  // namespace qm::window
