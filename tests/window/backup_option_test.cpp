// The backup option kept in the per-user INI file: restored exactly, written
// and flushed at every change, kept across a SIGKILL, and a failed write told.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QFile>
#include <QSettings>
#include <cstdio>
#include <cstdlib>

#include "platform/qt_settings_store.h"
#include "support/modal_answerer.h"
#include "tests/window/form_fixture.h"
#include "window/backup_option.h"

namespace qm::test {
namespace {

class BackupOptionTest : public ::testing::Test {
protected:
    void SetUp() override { useSettingsFolder(dir.path()); }

    static void useSettingsFolder(const std::filesystem::path& folder) {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QFile::decodeName(folder.c_str()));
    }
    void start() {
        form = std::make_unique<window::Form1>(store, dir.path());
        showActive(*form);
    }
    QCheckBox* box() const { return control<QCheckBox>(*form, "Check3"); }
    std::filesystem::path ini() const { return dir / "Dranvik.ini"; }

    TempDir dir;
    platform::QtSettingsStore store;
    std::unique_ptr<window::Form1> form;
};

TEST_F(BackupOptionTest, firstStart_leavesTheBoxClearAndWritesNothing) {
    start();
    EXPECT_FALSE(box()->isChecked());
    EXPECT_FALSE(std::filesystem::exists(ini()));
}

TEST_F(BackupOptionTest, storedTrue_ticksTheBoxAndStaysTrue) {
    writeBytes(ini(), "[Quillmere]\nBackupCheck=True\n");
    start();
    EXPECT_TRUE(box()->isChecked());
    EXPECT_EQ(store.read("Quillmere", "BackupCheck"), "True");
    EXPECT_NE(readBytes(ini()).find("BackupCheck=True"), std::string::npos);
}

TEST_F(BackupOptionTest, anyOtherStoredText_leavesTheBoxClearAndTheFileUntouched) {
    for (const char* stored : {"true", "TRUE", "False", "1", "yes", "True, False", ""}) {
        SCOPED_TRACE(stored);
        const std::string bytes = std::string("[Quillmere]\nBackupCheck=") + stored + "\n";
        writeBytes(ini(), bytes);
        start();
        EXPECT_FALSE(box()->isChecked());
        form.reset();
        EXPECT_EQ(readBytes(ini()), bytes);
    }
}

TEST_F(BackupOptionTest, untickThenTick_writesFalseThenTrueAtOnce) {
    writeBytes(ini(), "[Quillmere]\nBackupCheck=True\n");
    start();
    QTest::mouseClick(box(), Qt::LeftButton);
    EXPECT_FALSE(box()->isChecked());
    EXPECT_NE(readBytes(ini()).find("BackupCheck=False"), std::string::npos);
    QTest::mouseClick(box(), Qt::LeftButton);
    EXPECT_TRUE(box()->isChecked());
    EXPECT_NE(readBytes(ini()).find("BackupCheck=True"), std::string::npos);
}

TEST_F(BackupOptionTest, failedWrite_keepsTheUsersStateAndShowsWhy) {
    start();
    // A settings folder below a regular file cannot be created, even as root.
    writeBytes(dir / "plain", "");
    useSettingsFolder(dir / "plain" / "settings");
    std::vector<std::string> texts;
    {
        ModalAnswerer answerer({answerBox(texts)});
        QTest::mouseClick(box(), Qt::LeftButton);
    }
    EXPECT_TRUE(box()->isChecked());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find((dir / "plain" / "settings" / "Dranvik.ini").string()),
              std::string::npos)
        << texts[0];
    EXPECT_NE(texts[0].find("Permission denied"), std::string::npos) << texts[0];
}

// Run only as the child of the test below: ticks the box, says so, then
// waits to be killed.
TEST(BackupOptionChild, DISABLED_tickThenWaitToBeKilled) {
    if (!std::getenv("QM_BACKUP_CHILD"))
        GTEST_SKIP();
    platform::QtSettingsStore store;
    window::Form1 form(store, {});
    showActive(form);
    QTest::mouseClick(control(form, "Check3"), Qt::LeftButton);
    std::fputs("ticked\n", stdout);
    std::fflush(stdout);
    for (;;) ::pause();
}

TEST_F(BackupOptionTest, sigkillRightAfterTheClick_keepsTheValue) {
    // Everything the child needs is made before the fork: only exec follows it.
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.path().string(),
                                    "QT_QPA_PLATFORM=offscreen", "QM_BACKUP_CHILD=1"};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* argv[] = {"window_tests", "--gtest_also_run_disabled_tests",
                          "--gtest_filter=BackupOptionChild.DISABLED_tickThenWaitToBeKilled",
                          nullptr};
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execve("/proc/self/exe", const_cast<char* const*>(argv), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // Read until the child reports the click (a generous limit keeps a broken
    // child from hanging the test).
    std::string said;
    pollfd readable{out[0], POLLIN, 0};
    char buffer[256];
    while (said.find("ticked\n") == std::string::npos && ::poll(&readable, 1, 30000) > 0) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    ASSERT_NE(said.find("ticked\n"), std::string::npos) << said;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(readBytes(ini()), "[Quillmere]\nBackupCheck=True\n");
}

}  // namespace
}  // namespace qm::test
