#include <csignal>

#include <QApplication>

#include "platform/qt_settings_store.h"
#include "window/form1.h"
#include "window/misc.h"

int main(int argc, char** argv) {
    // A write past the file-size limit should fail with an error the user
    // sees, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    // Lets desktops match the window to its menu entry (Wayland does it by this name).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.dranvik.Quillmere"));
    qm::platform::QtSettingsStore settings;
    qm::window::Form1 form(settings, qm::window::ProgramFolder());
    form.show();
    return QApplication::exec();
}
