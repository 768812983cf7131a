// Reading HAND-M.CUR: the image and the hotspot of its first directory entry;
// anything else is no cursor at all.
#include <gtest/gtest.h>

#include <QCursor>
#include <QImage>
#include <QPixmap>

#include "platform/qt_cursor_file.h"
#include "support/temp_dir.h"
#include "tests/platform_qt/cursor_bytes.h"

namespace qm::test {
namespace {

TEST(ReadCursorFile, validFile_givesItsImageAndHotspot) {
    TempDir dir;
    writeBytes(dir / "HAND-M.CUR", cursorFileBytes(5, 7));
    const auto cursor = platform::readCursorFile(dir / "HAND-M.CUR");
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor->hotSpot(), QPoint(5, 7));
    const QImage image = cursor->pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(image.pixel(2, 2)), 255);
    EXPECT_EQ(qAlpha(image.pixel(30, 2)), 0);
}

TEST(ReadCursorFile, missingOrDamagedFile_givesNoCursor) {
    TempDir dir;
    const std::string good = cursorFileBytes(5, 7);
    std::string iconType = good;
    iconType[2] = 1;  // an icon, not a cursor
    std::string noImages = good;
    noImages[4] = 0;
    std::string pastTheEnd = good;
    pastTheEnd[6 + 12] = static_cast<char>(0xf0);  // image offset beyond the file
    std::string badImage = good;
    for (std::size_t i = 22; i < 62; ++i) badImage[i] = static_cast<char>(0xee);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"empty", ""},
                 {"truncated", good.substr(0, 40)},
                 {"icon type", iconType},
                 {"no images", noImages},
                 {"offset past the end", pastTheEnd},
                 {"garbage image", badImage},
                 {"hotspot outside", cursorFileBytes(40, 3)},
                 {"text", "not a cursor at all, just some words in a file"}};
    for (const auto& c : cases) {
        const auto file = dir / c.name;
        writeBytes(file, c.bytes);
        EXPECT_FALSE(platform::readCursorFile(file).has_value()) << c.name;
    }
    EXPECT_FALSE(platform::readCursorFile(dir / "absent.cur").has_value());
    EXPECT_FALSE(platform::readCursorFile(dir.path()).has_value());  // a folder
}

}  // namespace
}  // namespace qm::test
