#include "platform/qt_message_boxes.h"

#include <QMessageBox>

#include "platform/qt_text.h"
#include "platform/window_port.h"

namespace qm::platform {

Answer QtMessageBoxes::show(std::string_view text, Buttons buttons) {
    const auto standard = buttons == Buttons::Ok
                              ? QMessageBox::StandardButtons(QMessageBox::Ok)
                              : QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(QMessageBox::NoIcon, qtText(kTitle), qtText(text), standard, parent_.data());
    // Never rich text: a file name such as "<b>x.htm" is shown as it is spelt.
    box.setTextFormat(Qt::PlainText);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            // Closing a Yes/No/Cancel box by its title bar or Escape means Cancel.
            return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

}  // namespace qm::platform
