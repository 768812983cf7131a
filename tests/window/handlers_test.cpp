// The window's handlers driven by clicks and typing: spring-back, the replace
// run, the empty-queue box, removal and clearing, and failures kept in a box.
#include <sys/stat.h>
#include <QAbstractButton>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>

#include "support/modal_answerer.h"
#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using HandlerTest = FormTest;

// Types text as key presses, also characters that have no key of their own.
void type(QWidget* box, const QString& text) {
    for (const QChar ch : text) QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, ch, {});
}

QPoint rowCentre(QTreeView* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

TEST_F(HandlerTest, everyActionButton_springsBackAfterAClick) {
    queue().append({{dir / "a.htm", "Queued"}});
    writeBytes(dir / "a.htm", "x");
    // Add Files and Add Folder open a dialog, an empty-queue run a box: each
    // is cancelled or answered.
    const auto reject = [](QWidget* d) { static_cast<QDialog*>(d)->reject(); };
    for (const char* name : {"Check1", "Check5", "Check2", "Check4", "Check2"}) {
        SCOPED_TRACE(name);
        ModalAnswerer answerer({reject}, 5000);
        auto* button = get<QAbstractButton>(name);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_FALSE(button->isChecked());
        EXPECT_FALSE(answerer.timedOut());
    }
    EXPECT_EQ(queue().count(), 0u);
}

struct RunCase {
    bool backup;
    const char* find;
    const char* replacement;
    const char* before;
    const char* after;
};

class ReplaceFromClicks : public FormTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(ReplaceFromClicks, rewritesEveryQueuedFileFromTheTypedTexts) {
    const RunCase c = GetParam();
    const auto a = dir / "a.htm", b = dir / "sub b.txt";
    writeBytes(a, c.before);
    writeBytes(b, std::string(c.before) + c.before);
    queue().append({{a, "Queued"}, {b, ""}});
    type(get("Text1"), QString::fromUtf8(c.find));
    type(get("Text2"), QString::fromUtf8(c.replacement));
    if (c.backup)
        QTest::mouseClick(get("Check3"), Qt::LeftButton);
    EXPECT_EQ(form->windowPort().backupChecked(), c.backup);

    QTest::mouseClick(get("Check2"), Qt::LeftButton);

    EXPECT_EQ(readBytes(a), c.after);
    EXPECT_EQ(readBytes(b), std::string(c.after) + c.after);
    EXPECT_EQ(std::filesystem::exists(dir / "a.htm BACKUP.htm"), c.backup);
    if (c.backup) {
        EXPECT_EQ(readBytes(dir / "a.htm BACKUP.htm"), c.before);
        EXPECT_EQ(readBytes(dir / "sub b.txt BACKUP.htm"), std::string(c.before) + c.before);
    }
    EXPECT_EQ(queue().count(), 2u);
    EXPECT_EQ(queue().data(queue().index(0, 1), Qt::DisplayRole).toString(), "Done");
    EXPECT_EQ(queue().data(queue().index(1, 1), Qt::DisplayRole).toString(), "Done");
    EXPECT_EQ(form->windowTitle(), "Quillmere [ Done! ]");
    EXPECT_EQ(form->windowPort().pointer(), platform::Pointer::Arrow);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(get<QAbstractButton>("Check2")->isChecked());
}

INSTANTIATE_TEST_SUITE_P(
    WithAndWithoutBackups, ReplaceFromClicks,
    ::testing::Values(RunCase{false, "cat", "dog", "a cat, a Cat.", "a dog, a Cat."},
                      RunCase{true, "cat", "dog", "a cat, a Cat.", "a dog, a Cat."},
                      RunCase{true, "\xc3\xa9t\xc3\xa9", "hiver", "l'\xc3\xa9t\xc3\xa9", "l'hiver"},
                      RunCase{false, "", "x", "unchanged", "unchanged"}));

TEST_F(HandlerTest, emptyQueue_showsTheBoxUnderTheHourglassThenTheArrow) {
    std::vector<std::string> texts;
    bool hourglassWhileUp = false;
    platform::Pointer codeWhileUp = platform::Pointer::Default;
    ModalAnswerer answerer({[&](QWidget* dialog) {
        const QCursor* override = QGuiApplication::overrideCursor();
        hourglassWhileUp = override && override->shape() == Qt::WaitCursor;
        // The window takes no input while the box is up: movement changes nothing.
        QTest::mouseMove(form.get(), get("Check1")->geometry().center());
        codeWhileUp = form->windowPort().pointer();
        answerBox(texts)(dialog);
    }});
    QTest::mouseClick(get("Check2"), Qt::LeftButton);
    ASSERT_EQ(texts, std::vector<std::string>{"No files added."});
    EXPECT_TRUE(hourglassWhileUp);
    EXPECT_EQ(codeWhileUp, platform::Pointer::Hourglass);
    EXPECT_EQ(form->windowPort().pointer(), platform::Pointer::Arrow);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->windowTitle(), "Quillmere");
}

TEST_F(HandlerTest, failingRun_showsPathAndReasonAndTheWindowStaysUsable) {
    const auto missing = dir / "gone.htm";
    const auto kept = dir / "kept.htm";
    writeBytes(kept, "cat");
    queue().append({{missing, "Queued"}, {kept, "Queued"}});
    QTest::keyClicks(get("Text1"), "cat");
    std::vector<std::string> texts;
    {
        ModalAnswerer answerer({answerBox(texts)});
        QTest::mouseClick(get("Check2"), Qt::LeftButton);
    }
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(missing.string()), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("No such file or directory"), std::string::npos) << texts[0];
    EXPECT_EQ(readBytes(kept), "cat");
    EXPECT_EQ(queue().data(queue().index(0, 1), Qt::DisplayRole).toString(), "Queued");
    EXPECT_EQ(form->windowTitle(), "Quillmere");
    EXPECT_EQ(form->windowPort().pointer(), platform::Pointer::Arrow);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form->isVisible());

    // The next run, after the cause is gone, works.
    writeBytes(missing, "cat");
    QTest::mouseClick(get("Check2"), Qt::LeftButton);
    EXPECT_EQ(readBytes(kept), "");
    EXPECT_EQ(form->windowTitle(), "Quillmere [ Done! ]");
}

TEST_F(HandlerTest, doubleClick_removesTheSelectedRowOrTheCurrentOneBelowTheLast) {
    auto* view = get<QTreeView>("ListView1");
    queue().append({{"/q/1", ""}, {"/q/2", ""}, {"/q/3", ""}});
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
    ASSERT_EQ(queue().count(), 2u);
    EXPECT_EQ(queue().filename(1), "/q/3");

    // Below the last row the control's current row is the one removed.
    view->setCurrentIndex(queue().index(0, 0));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       QPoint(20, view->viewport()->height() - 3));
    ASSERT_EQ(queue().count(), 1u);
    EXPECT_EQ(queue().filename(0), "/q/3");
}

TEST_F(HandlerTest, doubleClickOnEmptyList_changesNothingAndShowsNothing) {
    auto* view = get<QTreeView>("ListView1");
    ModalAnswerer answerer({[](QWidget* d) { static_cast<QDialog*>(d)->reject(); }}, 200);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(queue().count(), 0u);
    EXPECT_EQ(answerer.answered(), 0u);
}

TEST_F(HandlerTest, clearList_emptiesTheQueueAndKeepsTheTitle) {
    form->setWindowTitle("Quillmere [ Done! ]");
    queue().append({{"/q/1", "Done"}, {"/q/2", "Done"}});
    QTest::mouseClick(get("Check4"), Qt::LeftButton);
    EXPECT_EQ(queue().count(), 0u);
    EXPECT_EQ(form->windowTitle(), "Quillmere [ Done! ]");
}

}  // namespace
}  // namespace qm::test
