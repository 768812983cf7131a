#include "platform/qt_window_port.h"

#include <QAccessible>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include "platform/qt_text.h"

namespace qm::platform {

QtWindowPort::~QtWindowPort() {
    if (code_ == Pointer::Hourglass) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtWindowPort::busyChanged() {
    // Screen readers hear that the window is busy, or no longer: keys do nothing meanwhile.
    QAccessible::State busy;
    busy.busy = true;
    QAccessibleStateChangeEvent event(&window_, busy);
    QAccessible::updateAccessibility(&event);
}

bool QtWindowPort::InputGate::eventFilter(QObject* watched, QEvent* event) {
    // Input from the window system reaches the window's own QWindow first, and Qt moves the
    // focus on a press or a wheel turn before any widget sees the event: it stops there. Events
    // sent to a widget directly stop at the widget. Boxes a run shows are windows of their own
    // and stay usable.
    const bool ours = watched->isWidgetType()
                          ? static_cast<QWidget*>(watched)->window() == &window_
                          : watched == static_cast<QObject*>(window_.windowHandle());
    if (!ours)
        return false;
    switch (event->type()) {
        case QEvent::Close:
            event->ignore();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::ToolTip:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
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
    // The hourglass goes over the whole application, the text boxes included.
    const bool wasBusy = code_ == Pointer::Hourglass;
    code_ = code;  // before busyChanged(): screen readers read the state from it
    if (code == Pointer::Hourglass) {
        if (!wasBusy) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            QCoreApplication::instance()->installEventFilter(&gate_);
            busyChanged();
        }
        return;
    }
    if (wasBusy) {
        QCoreApplication::instance()->removeEventFilter(&gate_);
        QGuiApplication::restoreOverrideCursor();
        busyChanged();
    }
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
