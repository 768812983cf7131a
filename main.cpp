#include <csignal>

#include <QApplication>

#include "window/form1.h"

int main(int argc, char** argv) {
    // A write past the file-size limit should fail with an error the user
    // sees, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    qm::window::Form1 form;
    form.show();
    return QApplication::exec();
}
