#include "window/misc.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <system_error>

namespace qm::window {

bool PathExists(const std::filesystem::path& path) noexcept {
    std::error_code error;
    static_cast<void>(std::filesystem::last_write_time(path, error));
    return !error;
}

std::filesystem::path ProgramFolder() {
    // Empty without an application object, as the path of a program Qt cannot find.
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

void CenterOnScreen(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    // Until the window system has framed the window, the frame geometry is
    // the client area itself.
    const QRect screenArea = screen->geometry();
    const QRect frame = window.frameGeometry();
    // Halves in single precision and no clamping: a window larger than the
    // screen is placed at negative coordinates, still centred.
    const float left = static_cast<float>(screenArea.width() - frame.width()) / 2.0f;
    const float top = static_cast<float>(screenArea.height() - frame.height()) / 2.0f;
    window.move(screenArea.x() + static_cast<int>(std::lround(left)),
                screenArea.y() + static_cast<int>(std::lround(top)));
}

}  // namespace qm::window
