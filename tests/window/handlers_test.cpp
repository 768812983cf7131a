// The handlers driven by clicks and typing: spring-back, the replace run, texts of any length,
// the empty-queue box under the hourglass, removal, a failure kept in a box; filling the queue
// through the real Qt dialogs and question boxes, answered as a user would; and the backup option
// in the per-user INI file: restored exactly, on disk right after every change (so a program
// killed next keeps it), and a failed write told.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using HandlerTest = FormTest;
using ImportDialogs = FormTest;
using BackupOptionTest = FormTest;

TEST_F(HandlerTest, runsFromClicks_emptyThenFailingThenWithAndWithoutBackups) {
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
                               "\ncannot open (No such file or directory)"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(readBytes(dir / "kept.htm"), "cat");  // the run stops at the failure
    for (const bool backup : {false, true}) {       // the next runs work
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
}

// During a run the window stays alive but drops its input: clicks on every control, a
// double-click on the list, typing and the close button change nothing, then or later. Rows turn
// "Done" while the run goes on; after it the buttons work again.
TEST_F(HandlerTest, inputDuringARun_isDroppedNotReplayed) {
    constexpr int kFiles = 3000;
    std::vector<platform::QueueEntry> rows(kFiles);
    for (int i = 0; i < kFiles; ++i) writeBytes(rows[i].filename = dir / std::to_string(i), "a");
    queue().append(std::move(rows));
    QTest::keyClicks(get("Text1"), "a");
    QTest::keyClicks(get("Text2"), "aa");
    ModalAnswerer noDialogs({});  // a dialog opened by a replayed click would stay unanswered
    click("Check2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return column(1).contains("Done"); }, 60'000));
    EXPECT_LT(column(1).count("Done"), kFiles);  // seen while the run goes on
    const auto busy = [this] {
        return QAccessible::queryAccessibleInterface(form.get())->state().busy;
    };
    EXPECT_TRUE(busy());  // as screen readers hear it
    for (const char* name : {"Check1", "Check2", "Check3", "Check4", "Check5"})
        QTest::mouseClick(get(name), Qt::LeftButton);
    QTest::mouseDClick(get<QTreeView>("ListView1")->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
    QTest::keyClicks(get("Text1"), "zz");
    EXPECT_FALSE(form->close());
    ASSERT_TRUE(runEnded());
    QTest::qWait(50);  // anything queued would have run by now
    EXPECT_TRUE(form->isVisible() && !busy());
    EXPECT_EQ(noDialogs.answered(), 0u);
    EXPECT_EQ(column(1), QStringList(kFiles, "Done"));
    EXPECT_EQ(get<QLineEdit>("Text1")->text(), "a");
    EXPECT_FALSE(get<QAbstractButton>("Check3")->isChecked());
    EXPECT_EQ(readBytes(dir / "0") + readBytes(dir / "2999"), "aaaa");  // replaced once, not twice
    click("Check4");
    EXPECT_EQ(queue().count(), 0u);
}

TEST_F(HandlerTest, textsOfAnyLength_readBackWhole) {
    for (const std::string unit : {"a", "\xc3\xa9", "\xf0\x9f\x98\x80"}) {  // 1, 2 and 4 bytes
        std::string find;
        for (int i = 0; i < 100'000; ++i) find += unit;
        get<QLineEdit>("Text1")->setText(QString::fromStdString(find));
        get<QLineEdit>("Text2")->setText(QString::fromStdString(find + "!"));
        EXPECT_TRUE(form->windowPort().findText() == find) << unit;
        EXPECT_TRUE(form->windowPort().replaceText() == find + "!") << unit;
    }
}

TEST_F(HandlerTest, doubleClick_removesTheSelectedRowOrTheCurrentOneBelowTheLast) {
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

TEST_F(ImportDialogs, pickThreeFiles_queuedWithQueued_typedNewNamesAsTheyCome) {
    const QString picked = local(dir / "picked");
    std::filesystem::create_directory(dir / "picked");
    for (const char* name : {"a.htm", "b.html", "c.txt"}) writeBytes(dir / "picked" / name, "x");
    importThrough("Check1", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    queue().append({{"/earlier.htm", ""}});
    importThrough("Check1", {QString(R"("%1/a.htm" "%1/b.html" "%1/c.txt")").arg(picked)});
    EXPECT_EQ(noted.join(" | "),
              "Add File(s) - Hold Ctrl to select multiple files | HTML Files "
              "(*.htm *.html) | All Files (*) | 3 | 3 | 1 | closed");
    importThrough("Check1", {picked + "/new.htm"});
    // Existing and new names typed together all come back.
    importThrough("Check1", {QString(R"("%1/a.htm" "%1/b.html" "%1/new.txt")").arg(picked)});
    // A wildcard filters the listing and is never queued; "~" is the home folder.
    importThrough("Check1", {picked + "/*.txt", "~/tilde.htm"});
    EXPECT_EQ(noted.mid(6), (QStringList{"*.txt", "closed"}));
    QStringList paths = column(0).replaceInStrings(picked + "/", "");
    ASSERT_EQ(paths.size(), 9);
    std::sort(paths.begin() + 1, paths.begin() + 4);  // the dialog may list the three in any order
    EXPECT_EQ(paths.join(' '), "/earlier.htm a.htm b.html c.txt new.htm a.htm b.html new.txt " +
                                   QDir::homePath() + "/tilde.htm");
    EXPECT_EQ(column(1), QStringList{""} + QStringList(8, "Queued"));
}

// A selection made in the list whose names run far past what a text box holds comes back whole.
TEST_F(ImportDialogs, manyLongNamesPickedInTheList_allQueued) {
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

TEST_F(ImportDialogs, importFolder_answersYesNoAndCancel) {
    for (const char* name : {"a.htm", "b.HTML", "c.bin", "d.txt", "e.dat", "f.bin"})
        writeBytes(dir / name, "x");
    std::filesystem::create_directory(dir / "sub");
    writeBytes(dir / "sub" / "g.htm", "x");  // not reached after the Cancel
    importThrough("Check5", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    importThrough("Check5", {local(dir.path())},
                  {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel});
    const QString question =
        "Quillmere|%1 is not a .htm .html or .txt file. Do you want to load it into the list of "
        "files to extract from?";
    EXPECT_EQ(noted,
              (QStringList{"Please select folder to add:", "All Files (*)", "1", "1", "1", "closed",
                           question.arg("b.HTML"), question.arg("c.bin"), question.arg("e.dat")}));
    EXPECT_EQ(column(0).replaceInStrings(local(dir.path()), ""),
              (QStringList{"/a.htm", "/b.HTML", "/d.txt"}));
    EXPECT_EQ(column(1), QStringList(3, ""));
}

std::string iniWith(const std::string& value) {
    return "[Quillmere]\nBackupCheck=" + value + "\n";
}

TEST_F(BackupOptionTest, ticksOnlyForTrue_everyClickWritesAtOnce_aFailedWriteIsTold) {
    EXPECT_FALSE(get<QAbstractButton>("Check3")->isChecked());
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

}  // namespace
}  // namespace qm::test
