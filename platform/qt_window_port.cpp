#include "platform/qt_window_port.h"

#include <QGuiApplication>

#include "platform/qt_text.h"

namespace qm::platform {

QtWindowPort::~QtWindowPort() {
    if (code_ == Pointer::Hourglass) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtWindowPort::setCustomCursor(std::optional<QCursor> cursor) {
    custom_ = std::move(cursor);
    if (code_ == Pointer::Custom) {
        setPointer(Pointer::Custom);
    }
}

std::string QtWindowPort::findText() const {
    return find_.text().toStdString();
}

std::string QtWindowPort::replaceText() const {
    return replacement_.text().toStdString();
}

void QtWindowPort::setTitle(std::string_view title) {
    window_.setWindowTitle(qtText(title));
}

void QtWindowPort::setPointer(Pointer code) {
    // The hourglass goes over the whole application, the text boxes included,
    // and is pushed to the window system at once: the run that sets it does
    // not return to the event loop until it ends.
    if (code == Pointer::Hourglass) {
        if (code_ != Pointer::Hourglass) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            QGuiApplication::sync();
        }
        code_ = code;
        return;
    }
    if (code_ == Pointer::Hourglass) {
        QGuiApplication::restoreOverrideCursor();
    }
    code_ = code;
    switch (code) {
        case Pointer::Arrow:
            window_.setCursor(Qt::ArrowCursor);
            break;
        case Pointer::Custom:
            window_.setCursor(custom_ ? *custom_ : QCursor(Qt::PointingHandCursor));
            break;
        default:
            // Every element shows its own shape.
            window_.unsetCursor();
            break;
    }
}

}  // namespace qm::platform
