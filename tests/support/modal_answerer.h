#pragma once
// Answers modal dialogs while the code under test is blocked in their exec().
//
// Each step answers one modal dialog, in the order they open. A timer polls
// QApplication::activeModalWidget(); once a new dialog is visible and active,
// its step runs from a separate zero-delay timer, so that a step which opens a
// nested dialog does not block the polling. A watchdog rejects the innermost
// dialog after a timeout, so a test fails instead of hanging. Scope one to a
// test: its destructor stops it.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace qm::test {

class ModalAnswerer {
public:
    using Step = std::function<void(QWidget* dialog)>;

    explicit ModalAnswerer(std::vector<Step> steps, int timeoutMs = 10000)
        : steps_(std::move(steps)), timeoutMs_(timeoutMs) {
        clock_.start();
        QObject::connect(&poll_, &QTimer::timeout, [this] { tick(); });
        poll_.start(10);
    }
    ~ModalAnswerer() { poll_.stop(); }
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    // Number of steps that ran.
    std::size_t answered() const { return next_; }
    // True when the watchdog had to reject a dialog.
    bool timedOut() const { return timedOut_; }

private:
    void tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            return;
        }
        if (clock_.elapsed() > timeoutMs_) {
            timedOut_ = true;
            if (auto* d = qobject_cast<QDialog*>(modal))
                d->reject();
            return;
        }
        if (modal == last_.data() || next_ >= steps_.size() || !modal->isVisible() ||
            !modal->isActiveWindow()) {
            return;
        }
        last_ = modal;
        Step step = steps_[next_++];
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, [step, target] {
            if (target)
                step(target.data());
        });
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int timeoutMs_;
    bool timedOut_ = false;
    QPointer<QWidget> last_;
    QElapsedTimer clock_;
    QTimer poll_;
};

}  // namespace qm::test
