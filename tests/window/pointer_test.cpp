// Pointer feedback: the code along a mouse path, the hourglass left alone,
// and the hand image from HAND-M.CUR present, missing or damaged.
#include <QHeaderView>
#include <QLineEdit>

#include "support/fakes.h"
#include "tests/platform_qt/cursor_bytes.h"
#include "tests/window/form_fixture.h"
#include "window/pointer_feedback.h"

namespace qm::test {
namespace {

using platform::Pointer;

TEST(HoverPointer, writesItsCodeUnlessTheHourglassShows) {
    for (Pointer before : {Pointer::Default, Pointer::Arrow, Pointer::Custom, Pointer::Hourglass})
        for (Pointer code : {Pointer::Default, Pointer::Arrow, Pointer::Custom}) {
            FakeWindow window;
            window.code = before;
            window::hoverPointer(window, code);
            EXPECT_EQ(window.code, before == Pointer::Hourglass ? before : code);
            // Written even when the code is already there.
            EXPECT_EQ(window.pointerHistory.size(), before == Pointer::Hourglass ? 0u : 1u);
        }
}

class PointerTest : public ::testing::Test {
protected:
    void start() {
        form = std::make_unique<window::Form1>(settings, dir.path());
        showActive(*form);
        // Park the mouse where no handler runs: a move to where the mouse
        // already is delivers nothing.
        moveTo("Label1");
        ASSERT_EQ(form->windowPort().pointer(), Pointer::Default);
    }
    // Moves the mouse to the centre of the named control, or to a point of the window.
    Pointer moveTo(const char* name) {
        QWidget* w = control(*form, name);
        QTest::mouseMove(w, w->rect().center());
        return form->windowPort().pointer();
    }
    Pointer moveTo(QPoint inWindow) {
        QTest::mouseMove(form.get(), inWindow);
        return form->windowPort().pointer();
    }

    TempDir dir;
    MemorySettings settings;
    std::unique_ptr<window::Form1> form;
};

TEST_F(PointerTest, codeFollowsTheMouseOverTheControls) {
    start();
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    struct Step {
        const char* over;  // nullptr: the bare window between the buttons
        Pointer code;
    };
    const Step path[] = {
        {"Label1", Pointer::Default},  // no handler: unchanged
        {"Check1", Pointer::Custom},  {"ListView1", Pointer::Default}, {nullptr, Pointer::Arrow},
        {"Label1", Pointer::Arrow},   {"Text1", Pointer::Arrow},       {"Check5", Pointer::Custom},
        {"Text2", Pointer::Custom},   {"Label2", Pointer::Custom},     {"Check4", Pointer::Custom},
        {nullptr, Pointer::Arrow},    {"Check3", Pointer::Custom},     {"Check2", Pointer::Custom},
    };
    for (const Step& step : path) {
        SCOPED_TRACE(step.over ? step.over : "window");
        EXPECT_EQ(step.over ? moveTo(step.over) : moveTo(QPoint(140, 130)), step.code);
    }
    // The list's header is part of the list.
    auto* header = control<QTreeView>(*form, "ListView1")->header();
    QTest::mouseMove(header, QPoint(20, header->height() / 2));
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
}

TEST_F(PointerTest, textBoxes_showTheIBeamWhateverTheCode) {
    start();
    for (const char* before : {"Check1", "ListView1"}) {
        moveTo(before);
        for (const char* box : {"Text1", "Text2"}) {
            moveTo(box);
            EXPECT_EQ(control(*form, box)->cursor().shape(), Qt::IBeamCursor) << box;
        }
    }
}

TEST_F(PointerTest, handFile_becomesTheButtonsPointer) {
    writeBytes(dir / "HAND-M.CUR", cursorFileBytes(5, 7));
    start();
    EXPECT_EQ(moveTo("Check1"), Pointer::Custom);
    EXPECT_EQ(form->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(form->cursor().hotSpot(), QPoint(5, 7));
    EXPECT_EQ(control(*form, "Check1")->cursor().shape(), Qt::BitmapCursor);
    moveTo(QPoint(140, 130));
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PointerTest, missingOrDamagedHandFile_startsNormallyWithTheSystemHand) {
    for (const char* content : std::initializer_list<const char*>{"", "not a cursor", nullptr}) {
        SCOPED_TRACE(content ? content : "missing");
        std::filesystem::remove(dir / "HAND-M.CUR");
        if (content)
            writeBytes(dir / "HAND-M.CUR", content);
        start();
        EXPECT_EQ(form->windowTitle(), "Quillmere");
        EXPECT_EQ(queueOf(*form).columnCount(), 2);
        EXPECT_EQ(moveTo("Check4"), Pointer::Custom);
        EXPECT_EQ(form->cursor().shape(), Qt::PointingHandCursor);
        form.reset();
    }
}

}  // namespace
}  // namespace qm::test
