// The backup option in the per-user INI file: restored exactly, written and
// flushed at every change, kept across a SIGKILL, and a failed write told.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QSettings>

#include "platform/qt_settings_store.h"
#include "support/modal_answerer.h"
#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

class BackupOptionTest : public ::testing::Test {
protected:
    void SetUp() override { useSettingsFolder(dir.path()); }
    static void useSettingsFolder(const std::filesystem::path& folder) {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QFile::decodeName(folder.c_str()));
    }
    bool ticked() const { return control<QAbstractButton>(*form, "Check3")->isChecked(); }
    void click() { QTest::mouseClick(control(*form, "Check3"), Qt::LeftButton); }
    std::string stored() const { return readBytes(dir / "Dranvik.ini"); }

    TempDir dir;
    platform::QtSettingsStore store;
    std::unique_ptr<window::Form1> form;
};

TEST_F(BackupOptionTest, startUp_ticksOnlyForTrueAndChangesNothingStored) {
    form = openForm(store, dir.path());
    EXPECT_FALSE(ticked());
    EXPECT_FALSE(std::filesystem::exists(dir / "Dranvik.ini"));  // first start writes nothing
    form.reset();
    for (const char* text : {"True", "true", "TRUE", "False", "1", "True, False", ""}) {
        const std::string bytes = std::string("[Quillmere]\nBackupCheck=") + text + "\n";
        writeBytes(dir / "Dranvik.ini", bytes);
        form = openForm(store, dir.path());
        EXPECT_EQ(ticked(), std::string(text) == "True") << text;
        form.reset();
        EXPECT_EQ(stored(), bytes);
    }
}

TEST_F(BackupOptionTest, untickThenTick_writesFalseThenTrueAtOnce) {
    writeBytes(dir / "Dranvik.ini", "[Quillmere]\nBackupCheck=True\n");
    form = openForm(store, dir.path());
    click();
    EXPECT_EQ(stored(), "[Quillmere]\nBackupCheck=False\n");
    click();
    EXPECT_EQ(stored(), "[Quillmere]\nBackupCheck=True\n");
}

TEST_F(BackupOptionTest, failedWrite_keepsTheUsersStateAndShowsWhy) {
    form = openForm(store, dir.path());
    writeBytes(dir / "plain", "");  // a folder below a file cannot be made, even as root
    useSettingsFolder(dir / "plain" / "settings");
    std::vector<std::string> texts;
    {
        ModalAnswerer answerer({answerBox(texts)});
        click();
    }
    EXPECT_TRUE(ticked());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], (dir / "plain/settings/Dranvik.ini").string() + "\nPermission denied");
}

// Run only as the child of the test below: ticks the box, says so, waits to be killed.
TEST(BackupOptionChild, DISABLED_tickThenWaitToBeKilled) {
    platform::QtSettingsStore store;
    auto form = openForm(store, {});
    QTest::mouseClick(control(*form, "Check3"), Qt::LeftButton);
    std::fputs("ticked\n", stdout);
    std::fflush(stdout);
    for (;;) ::pause();
}

TEST_F(BackupOptionTest, sigkillRightAfterTheClick_keepsTheValue) {
    // Everything the child needs is made before the fork: only exec follows it.
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.path().string(),
                                    "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* argv[] = {"window_tests", "--gtest_also_run_disabled_tests",
                          "--gtest_filter=BackupOptionChild.*", nullptr};
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
    std::string said;
    pollfd readable{out[0], POLLIN, 0};
    char buffer[256];
    // The limit only keeps a broken child from hanging the test.
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
    EXPECT_EQ(stored(), "[Quillmere]\nBackupCheck=True\n");
}

}  // namespace
}  // namespace qm::test
