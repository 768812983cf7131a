// PathExists and CenterOnScreen.
#include <QGuiApplication>
#include <QScreen>

#include "tests/window/form_fixture.h"
#include "window/misc.h"

namespace qm::test {
namespace {

TEST(PathExists, trueOnlyWhenTheFileSystemCanReportThePath) {
    TempDir dir;
    writeBytes(dir / "file.htm", "x");
    EXPECT_TRUE(window::PathExists(dir / "file.htm"));
    EXPECT_TRUE(window::PathExists(dir.path()));
    EXPECT_FALSE(window::PathExists(dir / "absent"));
    EXPECT_FALSE(window::PathExists(dir / "file.htm" / "below a file"));
    EXPECT_FALSE(window::PathExists(""));
}

TEST(CenterOnScreen, windowLargerThanTheScreen_goesNegativeStillCentred) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QWidget big;
    big.setFixedSize(screen.width() + 200, screen.height() + 100);
    window::CenterOnScreen(big);
    EXPECT_EQ(big.pos(), QPoint(screen.x() - 100, screen.y() - 50));
}

}  // namespace
}  // namespace qm::test
