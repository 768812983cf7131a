#include "window/guarded.h"

#include "files/file_error.h"

namespace qm::window {

void runGuarded(platform::MessageBoxes& boxes, const std::function<void()>& handler) noexcept {
    std::string text;
    try {
        handler();
        return;
    } catch (const std::exception& failure) {
        try {
            text = files::failureText(failure);
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
