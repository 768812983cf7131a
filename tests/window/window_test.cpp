// The main window through clicks, typing and its real dialogs, over settings kept in the test's
// own temporary folder and with Qt's model checker watching its queue: the replace run, input
// dropped during a run, removal, filling the queue, the backup option in the per-user INI file;
// and its layout as seen and as screen readers find it, tab order, and the pointer.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <optional>

#include "platform/qt_settings_store.h"
#include "support/file_checks.h"
#include "support/modal_answerer.h"
#include "window/command_line.h"
#include "window/form1.h"
#include "window/translations.h"

// Qt text in test failures, as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace qm::test {
namespace {

using platform::Pointer;

struct WindowTest : ::testing::Test {
    void SetUp() override {
        // The option's file, and Qt's own (the file dialog's history), in the test's folder.
        for (auto format : {QSettings::IniFormat, QSettings::NativeFormat})
            QSettings::setPath(format, QSettings::UserScope, local(dir.path()));
        open();
    }
    static QString local(const std::filesystem::path& p) { return QFile::decodeName(p.c_str()); }
    void open() {  // a new main window in place of the current one
        checker.reset();
        form = std::make_unique<window::Form1>(settings, dir.path());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        checker = std::make_unique<QAbstractItemModelTester>(
            &queue(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    template <typename T = QWidget>
    T* get(const char* name) const {  // a control the window must have
        return form->findChild<T*>(name);
    }
    platform::QueueModel& queue() const {
        return *qobject_cast<platform::QueueModel*>(get<QTreeView>("ListView1")->model());
    }
    QStringList column(int c) const {  // as the list shows it
        QStringList out;
        for (int r = 0; r < queue().rowCount(); ++r) out << queue().index(r, c).data().toString();
        return out;
    }
    // Every click on an action button also checks that the button springs back up.
    void click(const char* name) {
        QTest::mouseClick(get(name), Qt::LeftButton);
        const auto* button = qobject_cast<window::ActionButton*>(get(name));
        EXPECT_FALSE(button && button->value() != 0) << name << " stayed down";
    }
    Pointer moveTo(const char* name) {  // nullptr: the bare window
        QTest::mouseMove(name ? get(name) : form.get(), name ? QPoint() : QPoint(140, 130));
        return form->windowPort().pointer();
    }
    // The arrow is back once a run has ended; thousands of files on a busy machine take seconds.
    bool runEnded() const {
        return QTest::qWaitFor([this] { return form->windowPort().pointer() == Pointer::Arrow; },
                               60'000);
    }

    // A dialog step: notes a message box's title and text, which must be plain (markup in a file
    // name is not rendered), checks the box leaves a window manager room for its whole title, and
    // presses button (none: Escape).
    ModalAnswerer::Step answer(QMessageBox::StandardButton button = QMessageBox::Ok) {
        return [this, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_GE(box->width(), 300);
            noted << box->windowTitle() + "|" + box->text();
            if (button == QMessageBox::NoButton)
                return QTest::keyClick(box, Qt::Key_Escape);
            ASSERT_NE(box->button(button), nullptr);
            box->button(button)->click();
        };
    }
    // Drags urls onto the list and drops them there if it takes them; whether it did.
    bool drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QWidget* rows = get<QTreeView>("ListView1")->viewport();
        QDragEnterEvent enter({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(rows, &enter);
        return enter.isAccepted() && QCoreApplication::sendEvent(rows, &drop);
    }
    // Clicks button and answers its file or folder dialog, Qt's own and modal: notes its title
    // and filters; types each of typed into its name box and presses Return, noting the filter
    // then shown (nothing typed: cancels it). Then answers each question box with the next of
    // answers.
    void importThrough(const char* button, const QStringList& typed,
                       const std::vector<QMessageBox::StandardButton>& answers = {}) {
        noted.clear();
        std::vector<ModalAnswerer::Step> steps{[this, typed](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr);
            noted << d->windowTitle() << d->nameFilters();
            if (typed.isEmpty())
                d->reject();
            for (const QString& text : typed) {
                QWidget* box = QApplication::focusWidget();  // the name box has the focus
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, text);
                QTest::keyClick(box, Qt::Key_Return);
                noted << (d->isVisible() ? d->selectedNameFilter() : "closed");
            }
        }};
        for (auto each : answers) steps.push_back(answer(each));
        ModalAnswerer answerer(steps);
        click(button);
        EXPECT_EQ(answerer.answered(), steps.size());  // and no other box showed
    }

    TempDir dir;
    platform::QtSettingsStore settings;
    std::unique_ptr<window::Form1> form;
    std::unique_ptr<QAbstractItemModelTester> checker;
    QStringList noted;  // by the dialog steps
};

TEST_F(WindowTest, runsFromClicks_emptyThenFailingThenWithAndWithoutBackups_longTexts) {
    writeBytes(dir / "kept.htm", "cat");
    QTest::keyClicks(get("Text1"), "cat");
    // Typed as key presses, also a character without a key of its own.
    for (QChar ch : QString::fromUtf8("\xc3\xa9 dog"))
        QTest::sendKeyEvent(QTest::Click, get("Text2"), Qt::Key_unknown, ch, {});
    ModalAnswerer answerer(std::vector<ModalAnswerer::Step>(2, [this](QWidget* box) {
        noted << (QGuiApplication::overrideCursor() ? "under the hourglass" : "no hourglass");
        answer()(box);
    }));
    click("Check2");  // nothing queued
    queue().append({{dir / "<b>gone.htm", "Queued"}, {dir / "kept.htm", "Queued"}});
    click("Check2");
    ASSERT_TRUE(runEnded());
    // The empty-queue box belongs to the run; a failure is told once it has ended.
    EXPECT_EQ(noted,
              (QStringList{"under the hourglass", "Quillmere|No files added.", "no hourglass",
                           "Quillmere|" + local(dir / "<b>gone.htm") +
                               "\ncannot open the file (No such file or directory)"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(readBytes(dir / "kept.htm"), "cat");  // the run stops at the failure
    EXPECT_EQ(column(1), QStringList(2, "Queued"));
    EXPECT_EQ(form->windowTitle(), "Quillmere");
    for (const bool backup : {false, true}) {  // the next runs work
        click("Check4");
        writeBytes(dir / "a.htm", "a cat, a Cat.");
        writeBytes(dir / "b c.txt", "cat");
        queue().append({{dir / "a.htm", "Queued"}, {dir / "b c.txt", ""}});
        if (backup)
            click("Check3");
        click("Check2");
        ASSERT_TRUE(runEnded());
        EXPECT_EQ(readBytes(dir / "a.htm"), "a \xc3\xa9 dog, a Cat.");
        EXPECT_EQ(readBytes(dir / "b c.txt"), "\xc3\xa9 dog");
        EXPECT_EQ(std::filesystem::exists(dir / "a.htm BACKUP.htm"), backup);
        EXPECT_EQ(column(1), QStringList(2, "Done"));
        EXPECT_EQ(form->windowTitle(), "Quillmere [ Done! ]");
    }
    // Texts far longer than a text box holds by default, in characters of two UTF-16 units each,
    // come back whole.
    const QString text = QString::fromUtf8("\xf0\x9f\x98\x80").repeated(100'000);
    get<QLineEdit>("Text2")->setText(text);
    EXPECT_TRUE(form->windowPort().replaceText() == text.toStdString());
}

// During a run the window stays alive but drops its input: clicks on every control and on the
// list's rows, a double-click on its current row, keys, a wheel turn, a drop and the close button
// move nothing (focus, current row, selection, scroll position) and change nothing, then or
// later. The list follows the rows turning "Done" while the run goes on, a few times a second;
// after the run it stays where the run left it, and the buttons work again. The run's end
// reaches the window through its event loop, so the window is busy until the loop runs.
TEST_F(WindowTest, inputDuringARun_movesNothing_isNotReplayed_theListFollowsTheRun) {
    constexpr int kFiles = 3000;
    std::vector<platform::QueueEntry> rows(kFiles);
    for (int i = 0; i < kFiles; ++i) writeBytes(rows[i].filename = dir / std::to_string(i), "a");
    queue().append(std::move(rows));
    QTest::keyClicks(get("Text1"), "a");
    QTest::keyClicks(get("Text2"), "aa");
    auto* list = get<QTreeView>("ListView1");
    list->scrollToBottom();  // the first row "Done" is then seen to scroll the list
    const QScrollBar* scroll = list->verticalScrollBar();
    const QSignalSpy scrolls(scroll, &QScrollBar::valueChanged);
    const auto busy = [this] {
        return QAccessible::queryAccessibleInterface(form.get())->state().busy;
    };
    bool followedWhileBusy = false;
    const QObject probe;
    QObject::connect(scroll, &QScrollBar::valueChanged, &probe,
                     [&] { followedWhileBusy = followedWhileBusy || busy(); });
    QElapsedTimer running;
    ModalAnswerer noDialogs({});  // a dialog opened by a replayed click would stay unanswered
    click("Check2");
    running.start();
    EXPECT_TRUE(busy());  // as screen readers hear it
    // Input as the window system delivers it, through the window. The event loop does not run
    // in between, so the run cannot end meanwhile: its end is posted to this thread.
    QWindow* window = form->windowHandle();
    ulong time = QTest::lastMouseTimestamp += 1000;
    const auto clicks = [&](QWidget* w, QPoint p, int times = 1) {
        for (int i = 0; i < 2 * times; ++i)  // press, release, press...
            qt_handleMouseEvent(window, w->mapTo(form.get(), p), w->mapToGlobal(p),
                                Qt::MouseButtons(i % 2 ? 0 : 1), Qt::LeftButton,
                                i % 2 ? QEvent::MouseButtonRelease : QEvent::MouseButtonPress, {},
                                time += 10);
        time += 1000;  // no double-click with the next
    };
    const QModelIndex current = list->indexAt({20, 8});
    list->setCurrentIndex(current);
    const QWidget* focus = QApplication::focusWidget();
    clicks(list->viewport(), list->visualRect(current).center(), 2);
    for (const char* name : {"Check1", "Check2", "Check3", "Check4", "Check5", "Text1"})
        clicks(get(name), get(name)->rect().center());
    clicks(list->viewport(), {20, 30});
    for (auto key : {Qt::Key_Tab, Qt::Key_Down, Qt::Key_Space})
        qt_handleKeyEvent(window, QEvent::KeyPress, key, {});
    QTest::lastMouseTimestamp = time;
    QTest::keyClicks(get("Text1"), "zz");
    const int before = scroll->value();
    const QPoint middle = list->viewport()->mapTo(form.get(), QPoint(20, 40));
    QWheelEvent wheel(middle, form->mapToGlobal(middle), {}, {0, -360}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window, &wheel);
    EXPECT_EQ(scroll->value(), before);
    EXPECT_FALSE(drop({QUrl::fromLocalFile(local(dir / "0"))}));
    EXPECT_FALSE(form->close());
    EXPECT_EQ(QApplication::focusWidget(), focus);
    EXPECT_EQ(list->currentIndex(), current);
    EXPECT_EQ(list->selectionModel()->selectedRows(), QModelIndexList{current});
    ASSERT_TRUE(runEnded());
    EXPECT_TRUE(followedWhileBusy);
    const qint64 ran = running.elapsed();
    QTest::qWait(400);  // anything queued would have run by now, and the list has followed
    EXPECT_TRUE(form->isVisible() && !busy());
    EXPECT_EQ(column(1), QStringList(kFiles, "Done"));
    EXPECT_EQ(get<QLineEdit>("Text1")->text(), "a");
    EXPECT_FALSE(get<QAbstractButton>("Check3")->isChecked());
    EXPECT_EQ(readBytes(dir / "0") + readBytes(dir / "2999"), "aaaa");  // replaced once, not twice
    EXPECT_TRUE(
        list->viewport()->rect().intersects(list->visualRect(queue().index(kFiles - 1, 0))));
    EXPECT_LE(scrolls.count(), 2 + ran / 200) << "in " << ran << " ms";
    click("Check4");
    EXPECT_EQ(queue().count(), 0u);
}

TEST_F(WindowTest, doubleClick_removesTheSelectedRowOrTheCurrentOneBelowTheLast) {
    auto* list = get<QTreeView>("ListView1");
    QWidget* rows = list->viewport();
    QTest::mouseDClick(rows, Qt::LeftButton, {}, QPoint(20, 20));  // empty: nothing
    queue().append({{"/q/1", ""}, {"/q/2", ""}, {"/q/3", ""}});
    const QPoint second = list->visualRect(queue().index(1, 0)).center();
    QTest::mouseClick(rows, Qt::LeftButton, {}, second);
    QTest::mouseDClick(rows, Qt::LeftButton, {}, second);
    EXPECT_EQ(column(0), (QStringList{"/q/1", "/q/3"}));
    list->setCurrentIndex(queue().index(0, 0));
    QTest::mouseDClick(rows, Qt::LeftButton, {}, QPoint(20, rows->height() - 3));
    EXPECT_EQ(column(0), QStringList{"/q/3"});
}

TEST_F(WindowTest, importDialogs_pickedOrTypedFilesQueued_folderQuestionsAnswered) {
    const QString picked = local(dir / "picked");
    std::filesystem::create_directory(dir / "picked");
    for (const char* name : {"a.htm", "b.html", "c.txt"}) writeBytes(dir / "picked" / name, "x");
    importThrough("Check1", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    queue().append({{"/earlier.htm", ""}});
    importThrough("Check1", {QString(R"("%1/a.htm" "%1/b.html" "%1/c.txt")").arg(picked)});
    EXPECT_EQ(noted.join(" | "),
              "Add File(s) - Hold Ctrl to select multiple files | HTML Files "
              "(*.htm *.html) | All Files (*) | closed");
    importThrough("Check1", {picked + "/new.htm"});
    // Existing and new names typed together all come back.
    importThrough("Check1", {QString(R"("%1/a.htm" "%1/b.html" "%1/new.txt")").arg(picked)});
    // A wildcard filters the listing and is never queued; "~" is the home folder.
    importThrough("Check1", {picked + "/*.txt", "~/tilde.htm"});
    EXPECT_EQ(noted.mid(3), (QStringList{"*.txt", "closed"}));
    QStringList paths = column(0).replaceInStrings(picked + "/", "");
    ASSERT_EQ(paths.size(), 9);
    std::sort(paths.begin() + 1, paths.begin() + 4);  // the dialog may list the three in any order
    EXPECT_EQ(paths.join(' '), "/earlier.htm a.htm b.html c.txt new.htm a.htm b.html new.txt " +
                                   QDir::homePath() + "/tilde.htm");
    EXPECT_EQ(column(1), QStringList{""} + QStringList(8, "Queued"));
    // The folder dialog, and a question box answered Yes, No and Cancel.
    click("Check4");
    std::filesystem::create_directory(dir / "folder");
    for (const char* name : {"a.htm", "b.HTML", "c.bin", "d.txt", "e.dat", "f.txt"})
        writeBytes(dir / "folder" / name, "x");
    importThrough("Check5", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    importThrough("Check5", {local(dir / "folder")},
                  {QMessageBox::Yes, QMessageBox::No, QMessageBox::NoButton});  // Escape
    const QString question =
        "Quillmere|%1 is not a .htm .html or .txt file. Do you want to load it into the list of "
        "files to extract from?";
    EXPECT_EQ(noted,
              (QStringList{"Please select folder to add:", "All Files (*)", "closed",
                           question.arg("b.HTML"), question.arg("c.bin"), question.arg("e.dat")}));
    EXPECT_EQ(column(0).replaceInStrings(local(dir / "folder"), ""),
              (QStringList{"/a.htm", "/b.HTML", "/d.txt"}));
    EXPECT_EQ(column(1), QStringList(3, ""));
}

// Files and folders dropped on the list are queued in the order given: a file with "Queued", as
// the file dialog queues it (a name that is not UTF-8 keeps its bytes; a file of another machine
// is not taken), a folder's files as the folder import takes them, with its questions. A drag of
// nothing from this machine is refused.
TEST_F(WindowTest, filesAndFoldersDropped_queuedInTheOrderGiven) {
    std::filesystem::create_directory(dir / "f");
    for (const char* name : {"a.htm", "b.bin", "c.txt"}) writeBytes(dir / "f" / name, "x");
    const QUrl remote("https://example.org/r.htm"), folder = QUrl::fromLocalFile(local(dir / "f"));
    EXPECT_FALSE(drop({remote}));
    ModalAnswerer answerer({answer(QMessageBox::Yes)});
    const QByteArray odd = "file://" + QFile::encodeName(local(dir.path())) + "/%FF.htm";
    EXPECT_TRUE(
        drop({QUrl::fromLocalFile(local(dir / "z.htm")), remote, folder, QUrl::fromEncoded(odd)}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue().count() == 5; }));
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < queue().count(); ++i)
        paths.push_back(queue().filename(i).lexically_relative(dir.path()).native());
    EXPECT_EQ(paths,
              (std::vector<std::string>{"z.htm", "f/a.htm", "f/b.bin", "f/c.txt", "\xff.htm"}));
    EXPECT_EQ(column(1), (QStringList{"Queued", "", "", "", "Queued"}));
}

// Qt's own texts follow the user's language.
TEST_F(WindowTest, qtsOwnTexts_inTheUsersLanguage) {
    const auto german = window::installQtTranslations(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_NE(german, nullptr);
    QMessageBox box(QMessageBox::NoIcon, "", "", QMessageBox::Yes | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Abbrechen");
}

// What the command line gives is queued in order, as full paths with their bytes; --help,
// --version and other options are checked on the program itself (tests/CMakeLists.txt).
TEST(CommandLine, filesAndFoldersInOrder_fullPaths_bytesKept) {
    using enum window::CommandLine::Action;
    const std::string here = std::filesystem::current_path().native() + "/";
    struct Case {
        const char* name;
        std::vector<const char*> argv;
        window::CommandLine::Action expect = OpenWindow;
        std::vector<std::filesystem::path> given = {};
    };
    const Case cases[] = {
        {.name = "in order, made full, bytes kept",
         .argv = {"quillmere", "/x/a.htm", "b dir", "\xff.txt", ""},
         .given = {"/x/a.htm", here + "b dir", here + "\xff.txt"}},
        {.name = "-- ends the options", .argv = {"quillmere", "--", "-x"}, .given = {here + "-x"}},
    };
    for (const Case& c : cases) {
        const auto command = window::readCommandLine(int(c.argv.size()), c.argv.data());
        EXPECT_EQ(command.action, c.expect) << c.name;
        EXPECT_TRUE(command.given == c.given) << c.name;
    }
}

// A selection made in the list whose names run far past what a text box holds comes back whole.
TEST_F(WindowTest, manyLongNamesPickedInTheList_allQueued) {
    std::filesystem::create_directory(dir / "many");
    for (int i = 0; i < 300; ++i)
        writeBytes(dir / "many" / (std::to_string(i) + std::string(120, 'n') + ".htm"), "x");
    ModalAnswerer answerer({[this](QWidget* w) {
        QAbstractItemView* view = nullptr;  // the file view shown, a list or a detail view
        for (auto* each : w->findChildren<QAbstractItemView*>())
            view = (each->objectName().endsWith("View") && each->isVisible()) ? each : view;
        QTest::keyClicks(QApplication::focusWidget(), local(dir / "many"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // opens the folder
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) == 300; }));
        view->setFocus();  // picked in the list: the name box shows the names
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        static_cast<QDialog*>(w)->accept();
    }});
    click("Check1");
    EXPECT_EQ(queue().count(), 300u);
    EXPECT_TRUE(QFileInfo::exists(column(0).last()));
}

std::string iniWith(const std::string& value) {
    return "[Quillmere]\nBackupCheck=" + value + "\n";
}

TEST_F(WindowTest, backupOption_ticksOnlyForTrue_everyClickWritesAtOnce_aFailedWriteIsTold) {
    EXPECT_FALSE(std::filesystem::exists(dir / "Dranvik.ini"));   // first start writes nothing
    for (std::string text : {"true", "TRUE", "1", "", "True"}) {  // ends on "True"
        writeBytes(dir / "Dranvik.ini", iniWith(text));
        open();
        EXPECT_EQ(get<QAbstractButton>("Check3")->isChecked(), text == "True") << text;
        checker.reset();
        form.reset();  // opening and closing leave the file as it was
        EXPECT_EQ(readBytes(dir / "Dranvik.ini"), iniWith(text)) << text;
    }
    open();
    // A click anywhere in the box toggles it, far from its square and caption too.
    for (auto [now, at] : {std::pair("False", QPoint(256, 16)), {"True", QPoint(0, 0)}}) {
        QTest::mouseClick(get("Check3"), Qt::LeftButton, {}, at);
        EXPECT_EQ(readBytes(dir / "Dranvik.ini"), iniWith(now));
    }
    // A folder below a file cannot be made, even as root: the box stays as the user set it.
    writeBytes(dir / "plain", "");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, local(dir / "plain/settings"));
    ModalAnswerer answerer({answer()});
    click("Check3");
    EXPECT_FALSE(get<QAbstractButton>("Check3")->isChecked());
    EXPECT_EQ(noted, QStringList{"Quillmere|" + local(dir / "plain/settings/Dranvik.ini") +
                                 "\ncannot save the setting (access error)"});
}

TEST_F(WindowTest, everyControl_matchesTheLayoutAt96Dpi_screenReadersNameIt_tabGoesRound) {
    using enum QAccessible::Role;
    const QString tip = "Double-click item to remove it.", tab = "Press Tab to reach the controls.";
    struct Control {
        const char* name;
        QRect rect;  // in pixels
        QString caption;
        double points;  // of Arial bold; 0: the platform's font
        QAccessible::Role role;
        QString spoken;  // its name to a screen reader; none: the caption
        QString description;
    };
    const Control controls[] = {
        {"ListView1", {8, 8, 473, 105}, "", 9, Tree, "File queue", tip},
        {"Check1", {8, 120, 129, 28}, "Add Files", 11.25, Button, "", ""},
        {"Check5", {144, 120, 209, 27}, "Add All File(s) In Folder", 11.25, Button, "", ""},
        {"Check4", {360, 120, 121, 27}, "Clear List", 11.25, Button, "", ""},
        {"Label1", {8, 152, 473, 17}, "Find What:", 9, StaticText, "", ""},
        {"Text1", {8, 168, 473, 22}, "", 9, EditableText, "Find What:", ""},
        {"Label2", {8, 192, 401, 17}, "Replace With:", 9, StaticText, "", ""},
        {"Text2", {8, 208, 473, 22}, "", 9, EditableText, "Replace With:", ""},
        {"Check3", {8, 232, 257, 17}, "Make backup of files before replace", 9, CheckBox, "", ""},
        {"Check2", {8, 253, 473, 28}, "Replace Text", 11.25, Button, "", ""},
        {"Command1", {-48, 176, 41, 33}, "Command1", 0, Button, "Quillmere", tab},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* w = get(c.name);
        const QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(w);
        EXPECT_EQ(w->geometry(), c.rect);
        EXPECT_EQ(w->property("text").toString(), c.caption);  // none for the list
        EXPECT_EQ(reader->role(), c.role);
        EXPECT_EQ(reader->text(QAccessible::Name), c.spoken.isEmpty() ? c.caption : c.spoken);
        EXPECT_EQ(reader->text(QAccessible::Description), c.description);
        EXPECT_EQ(w->toolTip(), c.description == tip ? tip : "");
        EXPECT_TRUE(c.points == 0 || (w->font().pointSizeF() == c.points && w->font().bold()));
    }
    EXPECT_EQ(form->childAt(12, 168), get("Text1"));  // each text box lies over its label
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.get())->role(), Window);
    // Focus starts on the hidden button; Tab goes round the controls and back to it.
    QStringList seen{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(seen.join(' '),
              "Command1 Check1 Check2 ListView1 Text1 Text2 Check3 Check4 Check5 Command1");
}

TEST_F(WindowTest, window_isFixedIconlessCentredAndReadableInADarkScheme) {
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint),
              Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->frameGeometry(), QRect(153, 254, 494, 292));  // centred on the 800 x 800 screen
    EXPECT_EQ(qAlpha(form->windowIcon().pixmap(32, 32).toImage().pixel(16, 16)), 0);
    const QHeaderView* header = get<QTreeView>("ListView1")->header();
    EXPECT_TRUE(header->isVisibleTo(form.get()));
    for (auto [at, title, width] : {std::tuple(0, "Filename", 347), {1, "Status", 67}}) {
        EXPECT_EQ(queue().headerData(at, Qt::Horizontal, Qt::DisplayRole), title);
        EXPECT_EQ(header->sectionSize(at), width);
    }
    // Under a dark colour scheme, captions drawn on the fixed white stay dark (right of the
    // check box's square too) and the white stays beyond them, as on the window. The list and
    // the text boxes take the scheme's colours whole.
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(60, 60, 60), QColor(45, 45, 45)));  // white text
    open();  // outside an event loop, Qt gives a new palette only to new widgets
    const QImage drawn = form->grab().toImage();
    for (auto name : {"Check1", "Check2", "Check4", "Check5", "Check3", "Label1", "Label2"}) {
        const QImage part = drawn.copy(get(name)->geometry().adjusted(20, 0, 0, 0));
        int darkest = 255;
        for (int i = 0; i < part.width() * part.height(); ++i)
            darkest = std::min(darkest, qGray(part.pixel(i % part.width(), i / part.width())));
        EXPECT_LT(darkest, 80) << name;
        EXPECT_GE(qGray(part.pixel(part.width() - 3, 5)), 250) << name;  // white beyond it
    }
    EXPECT_EQ(drawn.pixelColor(487, 5), QColor(Qt::white));
    for (const char* name : {"ListView1", "Text1", "Text2"})
        EXPECT_TRUE(get(name)->palette() == QApplication::palette()) << name;
    QApplication::setPalette(saved);
}

// The pointer code follows the mouse; text boxes and labels leave it as it was. Over a button the
// hand is the system's when HAND-M.CUR is missing or damaged.
TEST_F(WindowTest, pointer_followsTheMouse_theSystemHandWithoutASoundHandFile) {
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    moveTo("Label1");  // a move to where the mouse already is delivers nothing
    using enum Pointer;
    const std::pair<const char*, Pointer> path[] = {
        {"Check1", Custom},     {"ListView1", Default}, {"Check3", Custom}, {nullptr, Arrow},
        {"Label1", Arrow},      {"Text1", Arrow},       {"Check2", Custom}, {"Text2", Custom},
        {"ListView1", Default}, {"Check5", Custom},     {nullptr, Arrow},
    };
    for (const auto& [over, code] : path) EXPECT_EQ(moveTo(over), code) << (over ? over : "window");
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
    // No HAND-M.CUR, one that is not a cursor, and one whose image lies beyond its end.
    const std::optional<std::string> files[] = {
        {},
        "not a cursor",
        std::string("\0\0\2\0\1\0\x20\x20\0\0\5\0\7\0\0\x10\0\0\x16\0\0\0", 22)};
    for (const auto& bytes : files) {
        std::filesystem::remove(dir / "HAND-M.CUR");
        if (bytes)
            writeBytes(dir / "HAND-M.CUR", *bytes);
        open();  // start-up goes on whatever the file holds
        EXPECT_EQ(form->windowTitle(), "Quillmere");
        moveTo("Label1");
        EXPECT_EQ(moveTo("Check4"), Pointer::Custom);
        EXPECT_EQ(form->cursor().shape(), Qt::PointingHandCursor);
    }
}

}  // namespace
}  // namespace qm::test
