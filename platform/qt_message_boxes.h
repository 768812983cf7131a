#pragma once
// Message boxes as QMessageBox, titled with the program's title, without an icon.

#include <QPointer>
#include <QWidget>

#include "platform/message_boxes.h"

namespace qm::platform {

class QtMessageBoxes final : public MessageBoxes {
public:
    // parent owns the boxes while they are shown; it may be null.
    explicit QtMessageBoxes(QWidget* parent) : parent_(parent) {}
    Answer show(std::string_view text, Buttons buttons) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace qm::platform
