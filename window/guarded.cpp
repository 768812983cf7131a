#include "window/guarded.h"

#include <system_error>

#include "platform/errors.h"

namespace qm::window {

std::string failureText(const std::exception& failure) {
    if (const auto* fileError = dynamic_cast<const platform::FileError*>(&failure)) {
        return fileError->path().native() + '\n' + fileError->reason() + " (" +
               fileError->code().message() + ')';
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
