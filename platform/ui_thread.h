#pragma once
// Hands work from any thread to the interface thread.

#include <functional>

namespace qm::platform {

class UiThread {
public:
    virtual ~UiThread() = default;
    // Queues work to run later on the interface thread, in the order posted; any thread may call
    // it.
    virtual void post(std::function<void()> work) = 0;
};

}  // namespace qm::platform
