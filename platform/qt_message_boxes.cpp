#include "platform/qt_message_boxes.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "platform/qt_text.h"
#include "platform/window_port.h"

namespace qm::platform {

namespace {
constexpr int kLeastBoxWidth = 300;  // pixels at 96 dpi
}  // namespace

Answer QtMessageBoxes::show(std::string_view text, Buttons buttons) {
    const auto standard = buttons == Buttons::Ok
                              ? QMessageBox::StandardButtons(QMessageBox::Ok)
                              : QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(QMessageBox::NoIcon, qtText(kTitle), qtText(text), standard, parent_.data());
    // Never rich text: a file name such as "<b>x.htm" is shown as it is spelt.
    box.setTextFormat(Qt::PlainText);
    // Qt sizes a box to its text and buttons, and "No files added." is short: a window manager
    // would cut its title to make room for its own buttons and icon.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(kLeastBoxWidth, 0, QSizePolicy::Minimum), grid->rowCount(), 0,
                      1, grid->columnCount());
    }
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
