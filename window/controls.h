#pragma once
// The window's own kinds of control: its action buttons, check boxes drawn as
// two-state push buttons, and a check box that answers in all its box.

#include <QCheckBox>
#include <QPushButton>

namespace qm::window {

// The value is 1 (pressed in) or 0 (raised), and every change of it raises
// the button's click: a user's click turns 0 into 1, and the click handler
// turns it straight back. The value lives here rather than in Qt's checked
// state, so that the button is a plain push button to users and screen readers.
class ActionButton final : public QPushButton {
    Q_OBJECT
public:
    explicit ActionButton(QWidget* parent);
    // Current value, 0 or 1.
    int value() const { return value_; }
    // Sets the value; raises the click when it changes.
    void setValue(int value);
    // Every click handler's first step: true when just pressed, after setting the value back to 0.
    bool springBack();

signals:
    // The button's click: its value has just changed.
    void valueChanged();

private:
    int value_ = 0;
};

// A check box that toggles on a click anywhere in its box, not only on its
// square and caption, as a check box control of the layout's size does.
class CheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// What screen readers are told of a main window: a window (not a bare pane), busy while a run
// owns it (its keys do nothing then). Installed once for every main window.
void describeMainWindowsToScreenReaders();

}  // namespace qm::window
