#include <QApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "platform/qt_settings_store.h"
#include "window/command_line.h"
#include "window/form1.h"
#include "window/misc.h"
#include "window/translations.h"

int main(int argc, char** argv) {
    using Action = qm::window::CommandLine::Action;
    qm::window::CommandLine command = qm::window::readCommandLine(argc, argv);
    if (command.action != Action::OpenWindow) {
        const bool asked = command.action == Action::ShowUsage;
        std::fprintf(asked ? stdout : stderr, "%s\n", qm::window::usageText());
        return asked ? 0 : 2;
    }
    // A write past the file-size limit should fail with an error the user
    // sees, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Qt is given no arguments: the command line is the program's own.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // Lets desktops match the window to its menu entry (Wayland does it by this name).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.dranvik.Quillmere"));
    const auto translations = qm::window::installQtTranslations(QLocale());
    qm::platform::QtSettingsStore settings;
    qm::window::Form1 form(settings, qm::window::ProgramFolder());
    form.show();
    if (!command.given.empty()) {
        // From the event loop, once the window shows: a folder's questions belong to it.
        QTimer::singleShot(0, &form,
                           [&form, given = std::move(command.given)] { form.queueGiven(given); });
    }
    return QApplication::exec();
}
