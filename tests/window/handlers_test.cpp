// The handlers driven by clicks and typing: spring-back, the replace run, texts
// of any length, the empty-queue box under the hourglass, removal, and a
// failure kept in a box.
#include <QGuiApplication>
#include <QLineEdit>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using HandlerTest = FormTest;
using platform::Pointer;

class ReplaceFromClicks : public FormTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReplaceFromClicks, rewritesEveryQueuedFileFromTheTypedTexts) {
    const bool backup = GetParam();
    writeBytes(dir / "a.htm", "a cat, a Cat.");
    writeBytes(dir / "b c.txt", "cat");
    queue().append({{dir / "a.htm", "Queued"}, {dir / "b c.txt", ""}});
    QTest::keyClicks(get("Text1"), "cat");
    // Typed as key presses, also a character without a key of its own.
    for (QChar ch : QString::fromUtf8("\xc3\xa9 dog"))
        QTest::sendKeyEvent(QTest::Click, get("Text2"), Qt::Key_unknown, ch, {});
    if (backup)
        click("Check3");
    click("Check2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->windowPort().pointer() == Pointer::Arrow; }));
    EXPECT_EQ(readBytes(dir / "a.htm"), "a \xc3\xa9 dog, a Cat.");
    EXPECT_EQ(readBytes(dir / "b c.txt"), "\xc3\xa9 dog");
    EXPECT_EQ(std::filesystem::exists(dir / "a.htm BACKUP.htm"), backup);
    for (int row : {0, 1}) EXPECT_EQ(queue().index(row, 1).data().toString(), "Done");
    EXPECT_EQ(form->windowTitle(), "Quillmere [ Done! ]");
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Arrow);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutBackups, ReplaceFromClicks, ::testing::Bool());

TEST_F(HandlerTest, emptyQueueOrFailingRun_showsTheBoxUnderTheHourglassAndTheWindowGoesOn) {
    writeBytes(dir / "kept.htm", "cat");
    QTest::keyClicks(get("Text1"), "cat");
    for (const bool empty : {true, false}) {
        if (!empty)
            queue().append({{dir / "<b>gone.htm", "Queued"}, {dir / "kept.htm", "Queued"}});
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
        click("Check2");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !texts.empty(); }));
        EXPECT_EQ(texts.at(0), empty ? "No files added."
                                     : (dir / "<b>gone.htm").string() +
                                           "\ncannot open (No such file or directory)");
        // The empty-queue box belongs to the run; a failure is told once it has ended.
        EXPECT_EQ(hourglass, empty);
        EXPECT_EQ(codeWhileUp, empty ? Pointer::Hourglass : Pointer::Arrow);
        EXPECT_EQ(form->windowPort().pointer(), Pointer::Arrow);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(readBytes(dir / "kept.htm"), "cat");  // the run stops at the failure
    }
    writeBytes(dir / "<b>gone.htm", "cat");  // the next run works
    click("Check2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return readBytes(dir / "kept.htm").empty(); }));
    EXPECT_EQ(readBytes(dir / "kept.htm"), "");
}

TEST_F(HandlerTest, textsOfAnyLength_readBackWhole) {
    for (const std::string unit : {"a", "\xc3\xa9", "\xf0\x9f\x98\x80"}) {  // 1, 2 and 4 bytes
        std::string find;
        for (int i = 0; i < 100'000; ++i) find += unit;
        const std::string replacement = find + "!";
        get<QLineEdit>("Text1")->setText(QString::fromStdString(find));
        get<QLineEdit>("Text2")->setText(QString::fromStdString(replacement));
        EXPECT_TRUE(form->windowPort().findText() == find) << unit;
        EXPECT_TRUE(form->windowPort().replaceText() == replacement) << unit;
    }
}

TEST_F(HandlerTest, doubleClickRemovesTheSelectedRowOrTheCurrentOneBelowTheLast_clearEmpties) {
    auto* list = get<QTreeView>("ListView1");
    QWidget* rows = list->viewport();
    QTest::mouseDClick(rows, Qt::LeftButton, {}, QPoint(20, 20));  // empty: nothing
    queue().append({{"/q/1", ""}, {"/q/2", ""}, {"/q/3", ""}});
    const QPoint second = list->visualRect(queue().index(1, 0)).center();
    QTest::mouseClick(rows, Qt::LeftButton, {}, second);
    QTest::mouseDClick(rows, Qt::LeftButton, {}, second);
    ASSERT_EQ(queue().count(), 2u);
    EXPECT_EQ(queue().filename(1), "/q/3");
    list->setCurrentIndex(queue().index(0, 0));
    QTest::mouseDClick(rows, Qt::LeftButton, {}, QPoint(20, rows->height() - 3));
    ASSERT_EQ(queue().count(), 1u);
    EXPECT_EQ(queue().filename(0), "/q/3");
    click("Check4");
    EXPECT_EQ(queue().count(), 0u);
}

}  // namespace
}  // namespace qm::test
