#pragma once
// A check box drawn as a two-state push button: a checkable Qt button.

#include <QAbstractButton>

#include "platform/window_port.h"

namespace qm::platform {

// The button's click handler is to be connected to its toggled signal, which
// both a user's click and setValue raise, once per change.
class QtToggleButton final : public ToggleButton {
public:
    explicit QtToggleButton(QAbstractButton& button) : button_(button) {}
    int value() const override { return button_.isChecked() ? 1 : 0; }
    void setValue(int value) override { button_.setChecked(value != 0); }

private:
    QAbstractButton& button_;
};

}  // namespace qm::platform
