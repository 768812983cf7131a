#pragma once
// Answers modal dialogs while the code under test waits in their exec().
//
// Each step answers the next modal dialog to show and become active. A timer polls
// QApplication::activeModalWidget() and runs the step from a zero-delay timer of its own, so that
// a step which opens a nested dialog does not block the polling. Once dialogs have been up for
// ten seconds in all, the innermost one is rejected and the test fails instead of hanging. Scope
// one to a test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

namespace qm::test {

class ModalAnswerer {
public:
    using Step = std::function<void(QWidget* dialog)>;

    explicit ModalAnswerer(std::vector<Step> steps) : steps_(std::move(steps)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { tick(); });
        poll_.start(10);
    }
    std::size_t answered() const { return next_; }  // the steps that ran

private:
    void tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && ++ticks_ > 1000) {  // ten seconds
            ADD_FAILURE() << "a dialog was left unanswered: " << modal->windowTitle().toStdString();
            if (auto* d = qobject_cast<QDialog*>(modal))
                d->reject();
        } else if (modal && modal != last_ && next_ < steps_.size() && modal->isVisible() &&
                   modal->isActiveWindow()) {
            last_ = modal;  // the step does not run if the dialog is gone first
            QTimer::singleShot(0, modal, [modal, step = steps_[next_++]] { step(modal); });
        }
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QPointer<QWidget> last_;
    int ticks_ = 0;
    QTimer poll_;
};

}  // namespace qm::test
