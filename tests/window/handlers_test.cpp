// The handlers driven by clicks and typing: spring-back, the replace run, the
// empty-queue box under the hourglass, removal, and a failure kept in a box.
#include <QAbstractButton>
#include <QGuiApplication>

#include "support/modal_answerer.h"
#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using HandlerTest = FormTest;
using platform::Pointer;

TEST_F(HandlerTest, everyActionButton_springsBackAfterAClick) {
    writeBytes(dir / "a.htm", "x");
    queue().append({{dir / "a.htm", "Queued"}});
    const auto reject = [](QWidget* d) { static_cast<QDialog*>(d)->reject(); };
    // Add Files and Add Folder open a dialog, an empty-queue run a box.
    for (const char* name : {"Check1", "Check5", "Check2", "Check4", "Check2"}) {
        ModalAnswerer answerer({reject});
        QTest::mouseClick(get(name), Qt::LeftButton);
        EXPECT_FALSE(get<QAbstractButton>(name)->isChecked()) << name;
    }
    EXPECT_EQ(queue().count(), 0u);  // cleared
}

class ReplaceFromClicks : public FormTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReplaceFromClicks, rewritesEveryQueuedFileFromTheTypedTexts) {
    const bool backup = GetParam();
    writeBytes(dir / "a.htm", "a cat, a Cat.");
    writeBytes(dir / "b c.txt", "\xc3\xa9t\xc3\xa9 cat");
    queue().append({{dir / "a.htm", "Queued"}, {dir / "b c.txt", ""}});
    QTest::keyClicks(get("Text1"), "cat");
    // Typed as key presses, also a character without a key of its own.
    for (QChar ch : QString::fromUtf8("\xc3\xa9 dog"))
        QTest::sendKeyEvent(QTest::Click, get("Text2"), Qt::Key_unknown, ch, {});
    if (backup)
        QTest::mouseClick(get("Check3"), Qt::LeftButton);
    QTest::mouseClick(get("Check2"), Qt::LeftButton);

    EXPECT_EQ(readBytes(dir / "a.htm"), "a \xc3\xa9 dog, a Cat.");
    EXPECT_EQ(readBytes(dir / "b c.txt"), "\xc3\xa9t\xc3\xa9 \xc3\xa9 dog");
    EXPECT_EQ(std::filesystem::exists(dir / "a.htm BACKUP.htm"), backup);
    if (backup) {
        EXPECT_EQ(readBytes(dir / "b c.txt BACKUP.htm"), "\xc3\xa9t\xc3\xa9 cat");
    }
    for (int row : {0, 1}) EXPECT_EQ(queue().index(row, 1).data().toString(), "Done");
    EXPECT_EQ(form->windowTitle(), "Quillmere [ Done! ]");
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Arrow);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutBackups, ReplaceFromClicks, ::testing::Bool());

TEST_F(HandlerTest, emptyQueue_showsTheBoxUnderTheHourglassUntouchedByMovement) {
    std::vector<std::string> texts;
    bool hourglass = false;
    Pointer codeWhileUp = Pointer::Default;
    ModalAnswerer answerer({[&](QWidget* dialog) {
        const QCursor* shown = QGuiApplication::overrideCursor();
        hourglass = shown && shown->shape() == Qt::WaitCursor;
        QTest::mouseMove(form.get(), get("Check1")->geometry().center());
        codeWhileUp = form->windowPort().pointer();
        answerBox(texts)(dialog);
    }});
    QTest::mouseClick(get("Check2"), Qt::LeftButton);
    EXPECT_EQ(texts, std::vector<std::string>{"No files added."});
    EXPECT_TRUE(hourglass);
    EXPECT_EQ(codeWhileUp, Pointer::Hourglass);
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Arrow);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->windowTitle(), "Quillmere");
}

TEST_F(HandlerTest, failingRun_showsPathAndReasonAndTheWindowGoesOn) {
    writeBytes(dir / "kept.htm", "cat");
    queue().append({{dir / "gone.htm", "Queued"}, {dir / "kept.htm", "Queued"}});
    QTest::keyClicks(get("Text1"), "cat");
    std::vector<std::string> texts;
    {
        ModalAnswerer answerer({answerBox(texts)});
        QTest::mouseClick(get("Check2"), Qt::LeftButton);
    }
    EXPECT_EQ(texts, std::vector<std::string>{(dir / "gone.htm").string() +
                                              "\nNo such file or directory"});
    EXPECT_EQ(readBytes(dir / "kept.htm"), "cat");
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Arrow);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    writeBytes(dir / "gone.htm", "cat");  // the next run works
    QTest::mouseClick(get("Check2"), Qt::LeftButton);
    EXPECT_EQ(readBytes(dir / "kept.htm"), "");
}

TEST_F(HandlerTest, doubleClick_removesTheSelectedRowOrTheCurrentOneBelowTheLast) {
    auto* view = get<QTreeView>("ListView1");
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 20));  // empty: nothing
    queue().append({{"/q/1", ""}, {"/q/2", ""}, {"/q/3", ""}});
    const QPoint second = view->visualRect(queue().index(1, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second);
    ASSERT_EQ(queue().count(), 2u);
    EXPECT_EQ(queue().filename(1), "/q/3");
    view->setCurrentIndex(queue().index(0, 0));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       QPoint(20, view->viewport()->height() - 3));
    ASSERT_EQ(queue().count(), 1u);
    EXPECT_EQ(queue().filename(0), "/q/3");
}

}  // namespace
}  // namespace qm::test
