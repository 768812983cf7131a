#pragma once
// The window-wide pointer code written as the mouse moves over a control.

#include "platform/window_port.h"

namespace qm::window {

// Writes code unless the window shows the hourglass, which only the end of a
// replace run takes away.
void hoverPointer(platform::WindowPort& window, platform::Pointer code);

}  // namespace qm::window
