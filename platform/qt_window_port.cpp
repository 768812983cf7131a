#include "platform/qt_window_port.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
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

namespace {

// Qt's AT-SPI bridge passes no change of the busy state on to screen readers (it passes on only
// checked, active, disabled and focused). The signal they listen for is sent here instead, as the
// bridge sends its own: on Qt's connection to the accessibility bus, which exists only while
// assistive technology is about, from the object path the bridge gives the window.
void sendAtSpiBusy(QWidget& window, bool busy) {
    const QDBusConnection bus(QStringLiteral("a11y"));
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&window);
    if (!bus.isConnected() || !reader)
        return;
    const QString path = QStringLiteral("/org/a11y/atspi/accessible/") +
                         QString::number(QAccessible::uniqueId(reader));
    QDBusMessage signal = QDBusMessage::createSignal(
        path, QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"));
    // Kind, new value, unused, any data, and properties: "siiva{sv}".
    signal << QStringLiteral("busy") << int{busy} << 0 << QVariant::fromValue(QDBusVariant(0))
           << QVariantMap();
    bus.send(signal);
}

}  // namespace

void QtWindowPort::busyChanged() {
    // Screen readers hear that the window is busy, or no longer: keys do nothing meanwhile.
    QAccessible::State busy;
    busy.busy = true;
    QAccessibleStateChangeEvent event(&window_, busy);
    QAccessible::updateAccessibility(&event);
    sendAtSpiBusy(window_, code_ == Pointer::Hourglass);
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
    // Screen readers read the window's name again: Qt tells them of no new window title.
    QAccessibleEvent named(&window_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
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
