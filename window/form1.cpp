#include "window/form1.h"

#include <QDropEvent>
#include <QEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <map>
#include <vector>

#include "platform/qt_cursor_file.h"
#include "platform/qt_text.h"
#include "queue/add_files.h"
#include "queue/add_folder.h"
#include "replace/replace_run.h"
#include "window/backup_option.h"
#include "window/guarded.h"
#include "window/layout.h"
#include "window/misc.h"
#include "window/pointer_feedback.h"
#include "window/queue_view.h"

namespace qm::window {

namespace {

constexpr const char* kCursorFileName = "HAND-M.CUR";
constexpr int kIconSize = 32;

QFont controlFont(ControlFont kind, const QFont& platformDefault) {
    if (kind == ControlFont::PlatformDefault) {
        return platformDefault;
    }
    // Where Arial is missing, fontconfig's metric alias gives Liberation Sans,
    // so captions keep the widths they were laid out for.
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(kind == ControlFont::Small ? kSmallFontPoints : kLargeFontPoints);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

// A control drawn on the window's fixed white: white behind it whatever the
// colour scheme, so its text is fixed black to stay readable. A check box or
// a label fills itself from Window, a button from Button; the check box's
// square keeps the scheme's colours, as the list and the text boxes do.
void blackOnWhite(QWidget& control) {
    QPalette palette = control.palette();
    for (auto role : {QPalette::Window, QPalette::Button}) {
        palette.setColor(role, Qt::white);
    }
    for (auto role : {QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, Qt::black);
    }
    control.setPalette(palette);
}

}  // namespace

Form1::Form1(platform::SettingsStore& settings, std::filesystem::path programFolder,
             QWidget* parent)
    : QWidget(parent, Qt::Window), settings_(settings), programFolder_(std::move(programFolder)) {
    describeMainWindowsToScreenReaders();
    buildControls();
    connectHandlers();
    Form_Load();
}

void Form1::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(platform::qtText(kLayoutTitle));
    // Fixed single border: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    const double dpi = logicalDpiX();
    const auto px = [dpi](int twips) { return twipsToPixels(twips, dpi); };
    setFixedSize(px(kClientWidth), px(kClientHeight));
    QPixmap blank(kIconSize, kIconSize);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));

    const std::map<std::string_view, QWidget*> byName = {
        {"ListView1", ListView1}, {"Check1", Check1}, {"Check2", Check2},    {"Check3", Check3},
        {"Check4", Check4},       {"Check5", Check5}, {"Label1", Label1},    {"Label2", Label2},
        {"Text1", Text1},         {"Text2", Text2},   {"Command1", Command1}};
    const QFont platformDefault = font();
    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (const ControlLayout& layout : kControls) {
        QWidget* control = byName.at(layout.name);
        control->setObjectName(platform::qtText(layout.name));
        control->setGeometry(px(layout.left), px(layout.top), px(layout.width), px(layout.height));
        control->setFont(controlFont(layout.font, platformDefault));
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            button->setText(platform::qtText(layout.caption));
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            label->setText(platform::qtText(layout.caption));
        }
        if (layout.kind != ControlKind::Label) {
            tabOrder.emplace_back(layout.tabIndex, control);
        }
    }
    std::sort(tabOrder.begin(), tabOrder.end());
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
    }

    setUpQueueView(*ListView1, model_);
    new StatusFollower(*ListView1);
    ListView1->setToolTip(platform::qtText(kListToolTip));
    ListView1->setAccessibleName(platform::qtText(kListAccessibleName));
    ListView1->setAccessibleDescription(platform::qtText(kListToolTip));
    for (QPushButton* button : {Check1, Check2, Check4, Check5}) {
        button->setAutoDefault(false);
        blackOnWhite(*button);
    }
    blackOnWhite(*Check3);
    Check3->setAutoFillBackground(true);
    for (QLabel* label : {Label1, Label2}) {
        label->setAutoFillBackground(true);
        blackOnWhite(*label);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(false);
    }
    // No length limit: Qt's own would cut a pasted text at 32,767 characters.
    for (QLineEdit* box : {Text1, Text2}) {
        box->setMaxLength(std::numeric_limits<int>::max());
    }
    // Screen readers name each text box after the label above it; no caption has an access key.
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    Command1->setAutoDefault(false);
    // Its caption would be read out when the window opens; it names nothing there is.
    Command1->setAccessibleName(platform::qtText(platform::kTitle));
    Command1->setAccessibleDescription(platform::qtText(kHiddenButtonDescription));
    Command1->setFocus();
}

void Form1::connectHandlers() {
    connect(Check1, &ActionButton::valueChanged, this, [this] { Check1_Click(); });
    connect(Check2, &ActionButton::valueChanged, this, [this] { Check2_Click(); });
    connect(Check3, &QAbstractButton::toggled, this, [this] { Check3_Click(); });
    connect(Check4, &ActionButton::valueChanged, this, [this] { Check4_Click(); });
    connect(Check5, &ActionButton::valueChanged, this, [this] { Check5_Click(); });
    // The viewport sees every double-click, also one below the last row, and every drop.
    ListView1->viewport()->installEventFilter(this);
    ListView1->viewport()->setAcceptDrops(true);
    trackPointer(*this);
    for (QWidget* control :
         std::initializer_list<QWidget*>{Check1, Check2, Check3, Check4, Check5, ListView1}) {
        trackPointer(*control);
    }
}

void Form1::trackPointer(QWidget& control) {
    control.setMouseTracking(true);
    control.installEventFilter(this);
    for (QWidget* part : control.findChildren<QWidget*>()) {
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        pointerMovedTo(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
    } else if (watched == ListView1->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonDblClick:
                ListView1_DblClick();
                return true;
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                // Only files and folders of this machine are taken.
                auto* drag = static_cast<QDragMoveEvent*>(event);
                const QList<QUrl> urls = drag->mimeData()->urls();
                drag->setAccepted(std::any_of(urls.begin(), urls.end(),
                                              [](const QUrl& url) { return url.isLocalFile(); }));
                if (drag->isAccepted())
                    drag->setDropAction(Qt::CopyAction);
                return true;
            }
            case QEvent::Drop:
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                ListView1_Drop(*static_cast<QDropEvent*>(event)->mimeData());
                return true;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::paintEvent(QPaintEvent* /*event*/) {
    // Painted rather than set in the palette, which every control would inherit:
    // the list and the text boxes keep the colour scheme's colours.
    QPainter(this).fillRect(rect(), Qt::white);
}

void Form1::moveEvent(QMoveEvent* event) {
    // Start-up centres the window before the window system has framed it. The
    // first move reported with the frame known, as the window system places
    // the new window and before it first shows, centres it again, frame included.
    if (!centredWithFrame_ && frameGeometry().size() != size()) {
        centredWithFrame_ = true;
        CenterOnScreen(*this);
    }
    QWidget::moveEvent(event);
}

void Form1::pointerMovedTo(const QPoint& globalPosition) {
    // A move that a control leaves unaccepted reaches its parent as well: the
    // control under the pointer decides, whichever object saw the event.
    const QPoint position = mapFromGlobal(globalPosition);
    QWidget* control = childAt(position);
    while (control && control->parentWidget() != this) {
        control = control->parentWidget();  // a part of a control, such as the list's header
    }
    if (!control) {
        if (rect().contains(position)) {
            Form_MouseMove();
        }
    } else if (control == Check1) {
        Check1_MouseMove();
    } else if (control == Check2) {
        Check2_MouseMove();
    } else if (control == Check3) {
        Check3_MouseMove();
    } else if (control == Check4) {
        Check4_MouseMove();
    } else if (control == Check5) {
        Check5_MouseMove();
    } else if (control == ListView1) {
        ListView1_MouseMove();
    }
    // The text boxes, the labels and the hidden button leave the code alone.
}

void Form1::Form_Load() {
    CenterOnScreen(*this);
    if (!programFolder_.empty()) {
        const std::filesystem::path cursorFile = programFolder_ / kCursorFileName;
        if (PathExists(cursorFile)) {
            // An image that cannot be read leaves the system's pointing hand.
            port_.setCustomCursor(platform::readCursorFile(cursorFile));
        }
    }
    port_.setTitle(platform::kTitle);
    addQueueColumns(*ListView1, model_);
    // Ticking the box raises its click handler, which writes "True" back.
    Check3->setChecked(restoreBackupOption(settings_));
}

bool Form1::pressed(ActionButton& button) {
    // While a run owns the window its input is dropped; this also stops a press that comes
    // another way, such as a screen reader's action.
    return button.springBack() && port_.pointer() != platform::Pointer::Hourglass;
}

void Form1::Check1_Click() {
    runGuarded(boxes_, [this] {
        if (pressed(*Check1)) {
            queue::addFilesFromDialog(queue_, dialogs_);
        }
    });
}

void Form1::Check2_Click() {
    runGuarded(boxes_, [this] {
        if (pressed(*Check2)) {
            run_ = replace::startReplace(queue_, port_, boxes_, ui_);
        }
    });
}

void Form1::Check3_Click() {
    // A failed write leaves the box as the user set it; the box tells why.
    runGuarded(boxes_, [this] { saveBackupOption(settings_, Check3->isChecked()); });
}

void Form1::Check4_Click() {
    runGuarded(boxes_, [this] {
        if (pressed(*Check4)) {
            queue_.clear();
        }
    });
}

void Form1::Check5_Click() {
    runGuarded(boxes_, [this] {
        if (pressed(*Check5)) {
            queue::importFolder(queue_, dialogs_, boxes_, listing_);
        }
    });
}

void Form1::ListView1_DblClick() {
    runGuarded(boxes_, [this] { queue_.removeSelected(); });
}

void Form1::ListView1_Drop(const QMimeData& dropped) {
    std::vector<std::filesystem::path> given;
    for (const QUrl& url : dropped.urls()) {
        if (url.isLocalFile()) {
            // The path's bytes as the URL carries them: a name that is not UTF-8 keeps its own.
            const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
            given.emplace_back(QByteArray::fromPercentEncoding(encoded).toStdString());
        }
    }
    // Queued from the event loop: the program that dropped them waits until the drop returns,
    // and a folder may bring questions. A run started meanwhile takes nothing dropped.
    QTimer::singleShot(0, this, [this, given = std::move(given)] {
        if (port_.pointer() != platform::Pointer::Hourglass)
            queueGiven(given);
    });
}

void Form1::queueGiven(const std::vector<std::filesystem::path>& given) {
    runGuarded(boxes_, [&] { queue::addGiven(queue_, given, boxes_, listing_); });
}

void Form1::Form_MouseMove() {
    hoverPointer(port_, platform::Pointer::Arrow);
}
void Form1::Check1_MouseMove() {
    hoverPointer(port_, platform::Pointer::Custom);
}
void Form1::Check2_MouseMove() {
    hoverPointer(port_, platform::Pointer::Custom);
}
void Form1::Check3_MouseMove() {
    hoverPointer(port_, platform::Pointer::Custom);
}
void Form1::Check4_MouseMove() {
    hoverPointer(port_, platform::Pointer::Custom);
}
void Form1::Check5_MouseMove() {
    hoverPointer(port_, platform::Pointer::Custom);
}
void Form1::ListView1_MouseMove() {
    hoverPointer(port_, platform::Pointer::Default);
}

}  // namespace qm::window
