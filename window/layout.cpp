#include "window/layout.h"

#include <cmath>

namespace qm::window {

int twipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

}  // namespace qm::window
