#include "window/controls.h"

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

}  // namespace qm::window
