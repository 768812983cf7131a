// A descriptor is closed once: moved from, an Fd holds -1 and closes nothing.
#include "files/fd.h"

#include <unistd.h>

namespace qm::files {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

Fd::~Fd() {
    close();
}

int Fd::close() {
    return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1));
}

}  // namespace qm::files
