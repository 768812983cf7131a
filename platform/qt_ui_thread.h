#pragma once
// Work handed to the interface thread through Qt's event queue, as a queued call.

#include <QObject>

#include "platform/ui_thread.h"

namespace qm::platform {

// Make it on the interface thread; work still queued when it goes is dropped.
class QtUiThread final : public UiThread {
public:
    void post(std::function<void()> work) override;

private:
    QObject context_;
};

}  // namespace qm::platform
