#include "window/controls.h"

#include <QAccessibleWidget>

#include "window/form1.h"

namespace qm::window {

ActionButton::ActionButton(QWidget* parent) : QPushButton(parent) {
    // Each click flips the value, which is 0 between clicks.
    connect(this, &QAbstractButton::clicked, this, [this] { setValue(value_ == 0 ? 1 : 0); });
}

void ActionButton::setValue(int value) {
    if (value != value_) {
        value_ = value;
        emit valueChanged();
    }
}

bool ActionButton::springBack() {
    // Setting 0 raises the click once more; that call finds 0 and does nothing.
    if (value() != 1) {
        return false;
    }
    setValue(0);
    return true;
}

namespace {

class MainWindowAccessible final : public QAccessibleWidget {
public:
    explicit MainWindowAccessible(Form1* form) : QAccessibleWidget(form, QAccessible::Window) {}
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.busy = static_cast<const Form1*>(widget())->windowPort().pointer() ==
                     platform::Pointer::Hourglass;
        return state;
    }
};

QAccessibleInterface* mainWindowAccessible(const QString&, QObject* object) {
    auto* form = qobject_cast<Form1*>(object);
    return form ? new MainWindowAccessible(form) : nullptr;
}

}  // namespace

void describeMainWindowsToScreenReaders() {
    static const bool installed = (QAccessible::installFactory(mainWindowAccessible), true);
    (void)installed;
}

}  // namespace qm::window
