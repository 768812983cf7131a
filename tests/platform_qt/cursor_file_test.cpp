// Reading HAND-M.CUR: anything but a sound cursor file gives no cursor at all.
// What a sound file gives is checked through the window's pointer.
#include <gtest/gtest.h>

#include "platform/qt_cursor_file.h"
#include "support/temp_dir.h"
#include "tests/platform_qt/cursor_bytes.h"

namespace qm::test {
namespace {

TEST(ReadCursorFile, missingOrDamagedFile_givesNoCursor) {
    TempDir dir;
    const std::string good = cursorFileBytes(5, 7);
    const auto changed = [&good](std::size_t at, char byte) {
        return std::string(good).replace(at, 1, 1, byte);
    };
    for (const std::string& bytes :
         {std::string(), good.substr(0, 40), changed(2, 1) /* an icon */,
          changed(4, 0) /* no images */, changed(18, '\xf0') /* offset past the end */,
          good.substr(0, 22) + std::string(40, '\xee') + good.substr(62) /* image header */,
          cursorFileBytes(40, 3) /* hotspot outside the image */}) {
        writeBytes(dir / "c.cur", bytes);
        EXPECT_FALSE(platform::readCursorFile(dir / "c.cur").has_value()) << bytes.size();
    }
    EXPECT_FALSE(platform::readCursorFile(dir / "absent.cur").has_value());
    writeBytes(dir / "c.cur", good);  // the same reader takes the sound file
    EXPECT_TRUE(platform::readCursorFile(dir / "c.cur").has_value());
}

}  // namespace
}  // namespace qm::test
