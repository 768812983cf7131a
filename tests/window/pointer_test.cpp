// Pointer feedback along a mouse path, and the hand image from HAND-M.CUR
// present, missing or damaged.
#include <QHeaderView>
#include <optional>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using PointerTest = FormTest;

// A small Windows cursor file: one 32 x 32 image at 32 bits a pixel, opaque in its left half and
// transparent in its right half.
std::string cursorFileBytes(std::uint32_t hotX, std::uint32_t hotY) {
    std::string out;
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    };
    // (value, bytes): the file header (cursor, one image), its directory entry (32 x 32, the
    // hotspot, the image's size and offset), the image header (2 x height: colours and mask).
    const std::uint32_t size = 40 + 32 * 32 * 4 + 32 * 4;
    const std::pair<std::uint32_t, int> fields[] = {
        {0, 2},    {2, 2},  {1, 2},  {32, 1}, {32, 1}, {0, 2}, {hotX, 2}, {hotY, 2},
        {size, 4}, {22, 4}, {40, 4}, {32, 4}, {64, 4}, {1, 2}, {32, 2}};
    for (auto [value, bytes] : fields) put(value, bytes);
    out.append(24, '\0');
    for (int i = 0; i < 32 * 32; ++i) put(i % 32 < 16 ? 0xff0000ffu : 0, 4);
    return out.append(32 * 4, '\0');  // AND mask: everything from the colour image
}

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
    const std::pair<std::optional<std::string>, bool> files[] = {
        // (HAND-M.CUR, sound)
        {cursorFileBytes(5, 7), true},
        {std::nullopt, false},
        {"not a cursor", false},
        {cursorFileBytes(40, 3), false}};  // the hotspot outside the image
    for (const auto& [bytes, sound] : files) {
        SCOPED_TRACE(bytes ? bytes->size() : 0);
        std::filesystem::remove(dir / "HAND-M.CUR");
        if (bytes)
            writeBytes(dir / "HAND-M.CUR", *bytes);
        open();  // start-up goes on whatever the file holds
        EXPECT_EQ(form->windowTitle(), "Quillmere");
        moveTo("Label1");
        EXPECT_EQ(moveTo("Check4"), Pointer::Custom);
        const QCursor shown = form->cursor();
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
