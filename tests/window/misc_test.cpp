// PathExists, CenterOnScreen and the one failure box of every handler.
#include <sys/stat.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <stdexcept>
#include <system_error>

#include "support/fakes.h"
#include "tests/window/form_fixture.h"
#include "window/guarded.h"
#include "window/misc.h"

namespace qm::test {
namespace {

TEST(PathExists, trueOnlyWhenTheTimeCanBeRead) {
    TempDir dir;
    writeBytes(dir / "file.htm", "x");
    std::filesystem::create_directory(dir / "locked");
    writeBytes(dir / "locked" / "inner", "x");
    ::chmod((dir / "locked").c_str(), 0);
    EXPECT_TRUE(window::PathExists(dir / "file.htm"));
    EXPECT_TRUE(window::PathExists(dir.path()));
    EXPECT_FALSE(window::PathExists(dir / "absent"));
    EXPECT_FALSE(window::PathExists(dir / "file.htm" / "below a file"));
    EXPECT_FALSE(window::PathExists(""));
    EXPECT_FALSE(window::PathExists(std::string("bad\xff\xfe name")));
    if (::geteuid() != 0)
        EXPECT_FALSE(window::PathExists(dir / "locked" / "inner"));
}

TEST(CenterOnScreen, centresAndGoesNegativeForAWindowLargerThanTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    struct Case {
        QSize size;
    };
    for (const QSize size :
         {QSize(490, 288), QSize(screen.width() + 200, screen.height() + 101), QSize(1, 1)}) {
        QWidget window;
        window.setFixedSize(size);
        window::CenterOnScreen(window);
        const QPoint expected(
            screen.x() + static_cast<int>(std::lround((screen.width() - size.width()) / 2.0f)),
            screen.y() + static_cast<int>(std::lround((screen.height() - size.height()) / 2.0f)));
        EXPECT_EQ(window.pos(), expected) << size.width() << "x" << size.height();
    }
    QWidget big;
    big.setFixedSize(screen.width() + 200, screen.height() + 100);
    window::CenterOnScreen(big);
    EXPECT_EQ(big.pos(), QPoint(screen.x() - 100, screen.y() - 50));
}

TEST(FailureText, givesThePathWhereThereIsOneAndTheSystemsDescription) {
    using std::filesystem::filesystem_error;
    const auto noEntry = std::make_error_code(std::errc::no_such_file_or_directory);
    const struct {
        std::function<void()> raise;
        std::string text;
    } cases[] = {
        {[&] { throw filesystem_error("read", "/site/a.htm", noEntry); },
         "/site/a.htm\nNo such file or directory"},
        {[&] {
             throw filesystem_error("copy", "/a.htm", "/a.htm BACKUP.htm",
                                    std::make_error_code(std::errc::no_space_on_device));
         },
         "/a.htm\n/a.htm BACKUP.htm\nNo space left on device"},
        {[&] { throw std::system_error(noEntry, "open"); }, "No such file or directory"},
        {[] { throw std::length_error("the file queue cannot hold more rows"); },
         "the file queue cannot hold more rows"},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
        } catch (const std::exception& e) {
            EXPECT_EQ(window::failureText(e), c.text);
        }
    }
}

TEST(RunGuarded, showsOneBoxForAFailureAndNoneOtherwise) {
    FakeBoxes boxes;
    window::runGuarded(boxes, [] {});
    EXPECT_TRUE(boxes.shown.empty());
    window::runGuarded(boxes, [] { throw std::runtime_error("broken"); });
    window::runGuarded(boxes, [] { throw 42; });
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "broken");
    EXPECT_EQ(boxes.shown[0].buttons, platform::Buttons::Ok);
    EXPECT_FALSE(boxes.shown[1].text.empty());
}

}  // namespace
}  // namespace qm::test
