#pragma once
// The main window. Placeholder until the window is laid out.

#include <QWidget>

namespace qm::window {

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
};

}  // namespace qm::window
