#include "replace/replace_run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using platform::Pointer;
using test::readBytes;
using test::writeBytes;
using Statuses = std::vector<std::string>;

// A run over fake window parts and real files in a temporary folder.
struct RunHarness {
    test::FakeList list;
    test::FakeWindow window;
    test::FakeBoxes boxes;
    queue::FileQueue queue{list};

    RunHarness(std::string find, std::string replacement, bool backup = false) {
        boxes.window = &window;
        window.find = std::move(find);
        window.replacement = std::move(replacement);
        window.backup = backup;
    }
    void go() { replace::runReplace(queue, window, boxes); }
    Statuses statuses() const {
        Statuses out;
        for (const auto& r : list.rows) out.push_back(r.status);
        return out;
    }
};

TEST(ReplaceRun, emptyQueue_saysNoFilesAddedUnderTheHourglassAndLeavesTitle) {
    RunHarness run("a", "b");
    run.go();
    ASSERT_EQ(run.boxes.shown.size(), 1u);
    EXPECT_EQ(run.boxes.shown[0].text, "No files added.");
    EXPECT_EQ(run.boxes.shown[0].buttons, platform::Buttons::Ok);
    EXPECT_EQ(run.boxes.shown[0].pointerWhileShown, Pointer::Hourglass);
    EXPECT_EQ(run.window.code, Pointer::Arrow);
    EXPECT_EQ(run.window.title, "Quillmere");
}

TEST(ReplaceRun, backupsOfANameThatIsNotUtf8_holdTheContentBeforeEachRun) {
    test::TempDir dir;
    const fs::path page = dir / "caf\xe9\xff.htm";
    const fs::path backup = dir / "caf\xe9\xff.htm BACKUP.htm";
    writeBytes(page, "v1");
    RunHarness run("v", "vv", /*backup=*/true);
    run.queue.append(page, "Queued");
    for (const auto& [content, backedUp] : {std::pair{"vv1", "v1"}, std::pair{"vvvv1", "vv1"}}) {
        run.go();  // the second run replaces the backup with what the first left
        EXPECT_EQ(readBytes(page), content);
        EXPECT_EQ(readBytes(backup), backedUp);
        EXPECT_EQ(run.statuses(), Statuses{"Done"});
        EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
    }
    EXPECT_EQ(run.window.pointerHistory,
              (std::vector<Pointer>{Pointer::Hourglass, Pointer::Arrow, Pointer::Hourglass,
                                    Pointer::Arrow}));
    EXPECT_TRUE(run.boxes.shown.empty());
}

TEST(ReplaceRun, failureAtRowTwo_stopsThereRestoresArrowAndKeepsTitle) {
    test::TempDir dir;
    writeBytes(dir / "1.htm", "a");
    writeBytes(dir / "3.htm", "a");
    RunHarness run("a", "b");
    for (const char* name : {"1.htm", "2.htm", "3.htm"}) run.queue.append(dir / name, "Queued");
    try {
        run.go();
        FAIL() << "a missing file must end the run";
    } catch (const platform::FileError& e) {
        EXPECT_EQ(e.path(), dir / "2.htm");
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
    }
    EXPECT_EQ(readBytes(dir / "1.htm"), "b");
    EXPECT_EQ(readBytes(dir / "3.htm"), "a");  // never touched
    EXPECT_FALSE(fs::exists(dir / "2.htm"));   // and not created
    EXPECT_EQ(run.statuses(), (Statuses{"Done", "Queued", "Queued"}));
    EXPECT_EQ(run.window.title, "Quillmere");
    EXPECT_EQ(run.window.code, Pointer::Arrow);
}

TEST(ReplaceRun, sameFileTwiceGrowsTwice_emptyFindRewritesUnchanged) {
    struct Case {
        std::string find, replacement, content, expected;
    };
    for (const auto& c : {Case{"ab", "abab", "ab", "abababab"}, Case{"", "zz", "keep", "keep"}}) {
        test::TempDir dir;
        const fs::path page = dir / "p.htm";
        writeBytes(page, c.content);
        const auto before = fs::last_write_time(page) - std::chrono::seconds(10);
        fs::last_write_time(page, before);
        RunHarness run(c.find, c.replacement);
        run.queue.append(page, "Queued");
        run.queue.append(page);  // as the folder import adds it: no status
        run.go();
        EXPECT_EQ(readBytes(page), c.expected) << c.find;
        EXPECT_GT(fs::last_write_time(page), before) << "the file is rewritten all the same";
        EXPECT_EQ(run.statuses(), (Statuses{"Done", "Done"}));
        EXPECT_EQ(fs::directory_iterator(dir.path())->path(), page) << "no backup written";
    }
}

TEST(ReplaceRun, hundredThousandRows_runToTheEnd) {
    // Past any 16-bit row counter. tmpfs keeps the 100,000 rewrites quick.
    const fs::path page = "/dev/shm/qm-run-" + std::to_string(::getpid()) + ".txt";
    if (!fs::is_directory(page.parent_path()))
        GTEST_SKIP() << "no /dev/shm";
    writeBytes(page, "n");
    RunHarness run("n", "n");
    run.queue.append(std::vector<platform::QueueEntry>(100'000, {page, "Queued"}));
    run.go();
    fs::remove(page);
    EXPECT_EQ(run.list.rows[32767].status, "Done");
    EXPECT_EQ(run.list.rows.back().status, "Done");
    EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
}

}  // namespace
}  // namespace qm
