// The backup option in the per-user INI file: restored exactly, written and
// flushed at every change, kept across a SIGKILL, and a failed write told.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QAbstractButton>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using BackupOptionTest = FormTest;

std::string iniWith(const std::string& value) {
    return "[Quillmere]\nBackupCheck=" + value + "\n";
}

TEST_F(BackupOptionTest, startUp_ticksOnlyForTrue_everyClickWritesAtOnce) {
    EXPECT_FALSE(get<QAbstractButton>("Check3")->isChecked());
    EXPECT_FALSE(std::filesystem::exists(dir / "Dranvik.ini"));   // first start writes nothing
    for (std::string text : {"true", "TRUE", "1", "", "True"}) {  // ends on "True"
        writeBytes(dir / "Dranvik.ini", iniWith(text));
        open();
        EXPECT_EQ(get<QAbstractButton>("Check3")->isChecked(), text == "True") << text;
        close();  // opening and closing leave the file as it was
        EXPECT_EQ(readBytes(dir / "Dranvik.ini"), iniWith(text)) << text;
    }
    open();
    // A click anywhere in the box toggles it, far from its square and caption too.
    for (auto [now, at] : {std::pair("False", QPoint(256, 16)), {"True", QPoint(0, 0)}}) {
        QTest::mouseClick(get("Check3"), Qt::LeftButton, {}, at);
        EXPECT_EQ(readBytes(dir / "Dranvik.ini"), iniWith(now));
    }
}

TEST_F(BackupOptionTest, failedWrite_keepsTheUsersStateAndShowsWhy) {
    // A folder below a file cannot be made, even as root.
    writeBytes(dir / "plain", "");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, local(dir / "plain/settings"));
    ModalAnswerer answerer({answer()});
    click("Check3");
    EXPECT_TRUE(get<QAbstractButton>("Check3")->isChecked());
    EXPECT_EQ(noted, QStringList{"Quillmere|" + local(dir / "plain/settings/Dranvik.ini") +
                                 "\ncannot save the setting (access error)"});
}

// Run only as the child of the test below: ticks the box and is killed at once. No fixture:
// a temporary folder of its own would outlive it; its settings go where XDG_CONFIG_HOME says.
TEST(BackupOptionChild, DISABLED_tickThenDie) {
    platform::QtSettingsStore settings;
    window::Form1 form(settings, {});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.findChild<QWidget*>("Check3"), Qt::LeftButton);
    ::raise(SIGKILL);
}

TEST_F(BackupOptionTest, sigkillRightAfterTheClick_keepsTheValue) {
    std::string env[] = {"XDG_CONFIG_HOME=" + dir.path().string(), "QT_QPA_PLATFORM=offscreen"};
    char* envp[] = {env[0].data(), env[1].data(), nullptr};
    const char* argv[] = {"window_tests", "--gtest_also_run_disabled_tests",
                          "--gtest_filter=BackupOptionChild.DISABLED_tickThenDie", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr,
                            const_cast<char* const*>(argv), envp),
              0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(readBytes(dir / "Dranvik.ini"), iniWith("True"));
}

}  // namespace
}  // namespace qm::test
