#pragma once
// The main window as the logic layers see it: its two texts, the backup box,
// the title and the window-wide pointer, whose hourglass also shuts its input.

#include <QAbstractButton>
#include <QCursor>
#include <QLineEdit>
#include <QWidget>
#include <optional>

#include "platform/window_port.h"

namespace qm::platform {

class QtWindowPort final : public WindowPort {
public:
    // The widgets must outlive the port.
    QtWindowPort(QWidget& window, QLineEdit& find, QLineEdit& replacement, QAbstractButton& backup)
        : window_(window), find_(find), replacement_(replacement), backup_(backup) {}
    ~QtWindowPort() override;
    QtWindowPort(const QtWindowPort&) = delete;
    QtWindowPort& operator=(const QtWindowPort&) = delete;

    // The image shown for code 99; without one the system's pointing hand shows.
    void setCustomCursor(std::optional<QCursor> cursor);

    std::string findText() const override;
    std::string replaceText() const override;
    bool backupChecked() const override { return backup_.isChecked(); }
    void setTitle(std::string_view title) override;
    Pointer pointer() const override { return code_; }
    void setPointer(Pointer code) override;

private:
    QWidget& window_;
    QLineEdit& find_;
    QLineEdit& replacement_;
    QAbstractButton& backup_;
    // Drops the window's input while the hourglass shows: a run owns the window then, and
    // nothing clicked or typed meanwhile may be replayed after it.
    class InputGate final : public QObject {
    public:
        explicit InputGate(QWidget& window) : window_(window) {}
        bool eventFilter(QObject* watched, QEvent* event) override;

    private:
        QWidget& window_;
    };

    void busyChanged();

    std::optional<QCursor> custom_;
    Pointer code_ = Pointer::Default;
    InputGate gate_{window_};
};

}  // namespace qm::platform
