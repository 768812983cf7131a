#pragma once
// The one place where a failure inside an event handler is reported.

#include <exception>
#include <functional>
#include <string>

#include "platform/message_boxes.h"

namespace qm::window {

// Runs one event handler; a failure is shown in a message box and the program goes on.
void runGuarded(platform::MessageBoxes& boxes, const std::function<void()>& handler) noexcept;

}  // namespace qm::window
