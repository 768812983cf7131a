#include "platform/qt_ui_thread.h"

#include <QMetaObject>

namespace qm::platform {

void QtUiThread::post(std::function<void()> work) {
    QMetaObject::invokeMethod(
        &context_,
        [work = std::move(work)] {
            // Nothing may escape into Qt's event loop.
            try {
                work();
            } catch (...) {
            }
        },
        Qt::QueuedConnection);
}

}  // namespace qm::platform
