#include "queue/spring_back.h"

namespace qm::queue {

bool springBack(platform::ToggleButton& button) {
    if (button.value() != 1) {
        return false;
    }
    button.setValue(0);
    return true;
}

}  // namespace qm::queue
