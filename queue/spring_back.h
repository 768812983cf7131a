#pragma once

#include "platform/window_port.h"

namespace qm::queue {

// The press behaviour shared by every action button. Returns true when the
// button has just been pressed (value 1): it is first set back to 0, so that it
// springs up. The click event that this raises finds 0 and returns false.
bool springBack(platform::ToggleButton& button);

}  // namespace qm::queue
