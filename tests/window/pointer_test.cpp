// Pointer feedback along a mouse path, and the hand image from HAND-M.CUR
// present, missing or damaged.
#include <QHeaderView>
#include <optional>

#include "tests/window/cursor_bytes.h"
#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using platform::Pointer;

class PointerTest : public FormTest {
protected:
    Pointer moveTo(const char* name) {  // nullptr: the bare window
        QTest::mouseMove(name ? get(name) : form.get(),
                         name ? get(name)->rect().center() : QPoint(140, 130));
        return form->windowPort().pointer();
    }
};

TEST_F(PointerTest, codeFollowsTheMouseOverTheControls) {
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    moveTo("Label1");  // a move to where the mouse already is delivers nothing
    const std::pair<const char*, Pointer> path[] = {
        {"Check1", Pointer::Custom}, {"ListView1", Pointer::Default}, {nullptr, Pointer::Arrow},
        {"Label1", Pointer::Arrow},  {"Text1", Pointer::Arrow},       {"Check5", Pointer::Custom},
        {"Text2", Pointer::Custom},  {"Check4", Pointer::Custom},     {nullptr, Pointer::Arrow},
        {"Check3", Pointer::Custom}, {"Check2", Pointer::Custom},
    };
    for (const auto& [over, code] : path) EXPECT_EQ(moveTo(over), code) << (over ? over : "window");
    EXPECT_EQ(get("Text1")->cursor().shape(), Qt::IBeamCursor);
    QTest::mouseMove(get<QTreeView>("ListView1")->header(), QPoint(20, 5));  // part of the list
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    EXPECT_EQ(moveTo(nullptr), Pointer::Arrow);
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PointerTest, handFile_givesItsImage_missingOrDamagedTheSystemHand) {
    for (const std::optional<std::string>& bytes :
         {std::optional(cursorFileBytes(5, 7)), std::optional<std::string>(), {"not a cursor"}}) {
        SCOPED_TRACE(bytes ? bytes->size() : 0);
        std::filesystem::remove(dir / "HAND-M.CUR");
        if (bytes)
            writeBytes(dir / "HAND-M.CUR", *bytes);
        open();  // start-up goes on whatever the file holds
        EXPECT_EQ(form->windowTitle(), "Quillmere");
        moveTo("Label1");
        EXPECT_EQ(moveTo("Check4"), Pointer::Custom);
        const QCursor shown = form->cursor();
        const bool sound = bytes && bytes->size() > 100;  // the built cursor, not the text
        EXPECT_EQ(shown.shape(), sound ? Qt::BitmapCursor : Qt::PointingHandCursor);
        if (sound) {
            EXPECT_EQ(shown.hotSpot(), QPoint(5, 7));
            const QImage image = shown.pixmap().toImage();
            EXPECT_EQ(qAlpha(image.pixel(2, 2)), 255);
            EXPECT_EQ(qAlpha(image.pixel(30, 2)), 0);
        }
    }
}

}  // namespace
}  // namespace qm::test
