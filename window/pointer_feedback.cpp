#include "window/pointer_feedback.h"

namespace qm::window {

void hoverPointer(platform::WindowPort& window, platform::Pointer code) {
    if (window.pointer() != platform::Pointer::Hourglass) {
        window.setPointer(code);
    }
}

}  // namespace qm::window
