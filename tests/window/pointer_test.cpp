// Pointer feedback along a mouse path, and the hand image from HAND-M.CUR
// present, missing or damaged.
#include <QHeaderView>

#include "tests/platform_qt/cursor_bytes.h"
#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using platform::Pointer;

class PointerTest : public ::testing::Test {
protected:
    void start() {
        form = openForm(settings, dir.path());
        // A move to where the mouse already is delivers nothing: start over a label.
        moveTo("Label1");
    }
    Pointer moveTo(const char* name) {
        QWidget* w = name ? control(*form, name) : form.get();
        QTest::mouseMove(w, name ? w->rect().center() : QPoint(140, 130));
        return form->windowPort().pointer();
    }

    TempDir dir;
    MemorySettings settings;
    std::unique_ptr<window::Form1> form;
};

TEST_F(PointerTest, codeFollowsTheMouseOverTheControls) {
    start();
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    const std::pair<const char*, Pointer> path[] = {
        // nullptr: the bare window
        {"Check1", Pointer::Custom}, {"ListView1", Pointer::Default}, {nullptr, Pointer::Arrow},
        {"Label1", Pointer::Arrow},  {"Text1", Pointer::Arrow},       {"Check5", Pointer::Custom},
        {"Text2", Pointer::Custom},  {"Check4", Pointer::Custom},     {nullptr, Pointer::Arrow},
        {"Check3", Pointer::Custom}, {"Check2", Pointer::Custom},
    };
    for (const auto& [over, code] : path) {
        EXPECT_EQ(moveTo(over), code) << (over ? over : "window");
    }
    EXPECT_EQ(control(*form, "Text1")->cursor().shape(), Qt::IBeamCursor);
    QWidget* header = control<QTreeView>(*form, "ListView1")->header();
    QTest::mouseMove(header, QPoint(20, 5));  // the header is part of the list
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
}

TEST_F(PointerTest, handFile_becomesTheButtonsPointer) {
    writeBytes(dir / "HAND-M.CUR", cursorFileBytes(5, 7));
    start();
    EXPECT_EQ(moveTo("Check1"), Pointer::Custom);
    EXPECT_EQ(control(*form, "Check1")->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(form->cursor().hotSpot(), QPoint(5, 7));
    moveTo(nullptr);
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PointerTest, missingOrDamagedHandFile_startsNormallyWithTheSystemHand) {
    for (const char* content : std::initializer_list<const char*>{nullptr, "", "not a cursor"}) {
        if (content)
            writeBytes(dir / "HAND-M.CUR", content);
        start();
        EXPECT_EQ(form->windowTitle(), "Quillmere");
        EXPECT_EQ(moveTo("Check4"), Pointer::Custom);
        EXPECT_EQ(form->cursor().shape(), Qt::PointingHandCursor);
    }
}

}  // namespace
}  // namespace qm::test
