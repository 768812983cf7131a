#pragma once
// The main window: the file queue, the buttons that fill, empty and run it,
// the two texts and the backup option. Its controls hold all working state.

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>
#include <QWidget>
#include <filesystem>
#include <vector>

#include "files/dir_listing.h"
#include "platform/qt_file_dialogs.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_queue_model.h"
#include "platform/qt_ui_thread.h"
#include "platform/qt_window_port.h"
#include "platform/settings_store.h"
#include "queue/file_queue.h"
#include "replace/replace_run.h"
#include "window/controls.h"

namespace qm::window {

class Form1 : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs Form_Load; HAND-M.CUR is read from programFolder.
    Form1(platform::SettingsStore& settings, std::filesystem::path programFolder,
          QWidget* parent = nullptr);

    // Queues files and folders handed to the program, as a drop on the list does.
    void queueGiven(const std::vector<std::filesystem::path>& given);

    // The window as the logic layers see it: texts, title, pointer code.
    const platform::QtWindowPort& windowPort() const { return port_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    void trackPointer(QWidget& control);
    void pointerMovedTo(const QPoint& globalPosition);

    // A button's click: it springs back, and true when it is to act.
    bool pressed(ActionButton& button);

    void Form_Load();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void ListView1_DblClick();
    void ListView1_Drop(const QMimeData& dropped);
    void Form_MouseMove();
    void Check1_MouseMove();
    void Check2_MouseMove();
    void Check3_MouseMove();
    void Check4_MouseMove();
    void Check5_MouseMove();
    void ListView1_MouseMove();

    platform::SettingsStore& settings_;
    std::filesystem::path programFolder_;
    bool centredWithFrame_ = false;

    // Created in the layout's order, so that each text box lies over its label.
    QTreeView* ListView1 = new QTreeView(this);
    ActionButton* Check1 = new ActionButton(this);
    ActionButton* Check5 = new ActionButton(this);
    ActionButton* Check4 = new ActionButton(this);
    QLabel* Label1 = new QLabel(this);
    QLineEdit* Text1 = new QLineEdit(this);
    QLabel* Label2 = new QLabel(this);
    QLineEdit* Text2 = new QLineEdit(this);
    CheckBox* Check3 = new CheckBox(this);
    ActionButton* Check2 = new ActionButton(this);
    QPushButton* Command1 = new QPushButton(this);

    platform::QueueModel model_;
    queue::FileQueue queue_{model_};
    platform::QtMessageBoxes boxes_{this};
    platform::QtFileDialogs dialogs_{this};
    files::PosixDirListing listing_;
    platform::QtWindowPort port_{*this, *Text1, *Text2, *Check3};
    platform::QtUiThread ui_;
    // The last run, kept until the next one starts or the window goes (declared last, so that
    // it goes first): its threads report to the members above.
    std::unique_ptr<replace::BatchRun> run_;
};

}  // namespace qm::window
