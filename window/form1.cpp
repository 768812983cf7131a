#include "window/form1.h"

namespace qm::window {

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Quillmere"));
}

}  // namespace qm::window
