// Pointer feedback along a mouse path, and the hand image from HAND-M.CUR
// present, missing or damaged.
#include <QBuffer>
#include <QHeaderView>
#include <QImageWriter>
#include <QPainter>
#include <optional>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using PointerTest = FormTest;

// A Windows cursor file with one 32 x 32 image, opaque in its left half and transparent in its
// right half: Qt's icon file with the type of a cursor, and the hotspot where an icon keeps its
// planes and bit count.
std::string cursorFileBytes(char hotX, char hotY) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(0, 0, 16, 32, Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "ico").write(image);
    std::string bytes = buffer.data().toStdString();
    bytes[2] = 2, bytes[10] = hotX, bytes[12] = hotY;
    return bytes;
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
