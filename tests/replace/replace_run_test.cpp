#include "replace/replace_run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fakes.h"
#include "support/temp_dir.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using platform::Pointer;
using test::readBytes;
using test::writeBytes;

// A run over fake window parts and real files in a temporary folder.
struct RunHarness {
    test::FakeList list;
    test::FakeWindow window;
    test::FakeBoxes boxes;
    queue::FileQueue queue{list};

    RunHarness() { boxes.window = &window; }
    void go() { replace::runReplace(queue, window, boxes); }
    std::vector<std::string> statuses() const {
        std::vector<std::string> out;
        for (const auto& r : list.rows) out.push_back(r.status);
        return out;
    }
};

TEST(ReplaceRun, emptyQueue_saysNoFilesAddedUnderTheHourglassAndLeavesTitle) {
    RunHarness run;
    run.go();
    ASSERT_EQ(run.boxes.shown.size(), 1u);
    EXPECT_EQ(run.boxes.shown[0].text, "No files added.");
    EXPECT_EQ(run.boxes.shown[0].buttons, platform::Buttons::Ok);
    EXPECT_EQ(run.boxes.shown[0].pointerWhileShown, Pointer::Hourglass);
    EXPECT_EQ(run.window.code, Pointer::Arrow);
    EXPECT_EQ(run.window.title, "Quillmere");
}

TEST(ReplaceRun, rewritesEveryRowMarksDoneAndSetsTitle) {
    test::TempDir dir;
    writeBytes(dir / "a.htm", "<p>old</p>");
    writeBytes(dir / "b.txt", "old old");
    RunHarness run;
    run.queue.append(dir / "a.htm", "Queued");
    run.queue.append(dir / "b.txt");  // as the folder import adds it: no status
    run.window.find = "old";
    run.window.replacement = "new";
    run.go();
    EXPECT_EQ(readBytes(dir / "a.htm"), "<p>new</p>");
    EXPECT_EQ(readBytes(dir / "b.txt"), "new new");
    EXPECT_EQ(run.statuses(), (std::vector<std::string>{"Done", "Done"}));
    EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
    EXPECT_EQ(run.window.pointerHistory,
              (std::vector<Pointer>{Pointer::Hourglass, Pointer::Arrow}));
    EXPECT_TRUE(run.boxes.shown.empty());
    EXPECT_FALSE(fs::exists(dir / "a.htm BACKUP.htm"));
}

TEST(ReplaceRun, backups_holdTheContentBeforeEachRun) {
    test::TempDir dir;
    const fs::path page = dir / "index.html";
    writeBytes(page, "v1");
    RunHarness run;
    run.queue.append(page, "Queued");
    run.window.backup = true;
    run.window.find = "v";
    run.window.replacement = "vv";
    run.go();
    EXPECT_EQ(readBytes(page), "vv1");
    EXPECT_EQ(readBytes(dir / "index.html BACKUP.htm"), "v1");
    run.go();  // a second run replaces the backup with what the first left
    EXPECT_EQ(readBytes(page), "vvvv1");
    EXPECT_EQ(readBytes(dir / "index.html BACKUP.htm"), "vv1");
}

TEST(ReplaceRun, nameThatIsNotUtf8_isRewrittenAndBackedUp) {
    test::TempDir dir;
    const fs::path page = dir / std::string("caf\xe9\xff.htm");
    writeBytes(page, "x");
    RunHarness run;
    run.queue.append(page);
    run.window.backup = true;
    run.window.find = "x";
    run.window.replacement = "y";
    run.go();
    EXPECT_EQ(readBytes(page), "y");
    EXPECT_EQ(readBytes(dir / std::string("caf\xe9\xff.htm BACKUP.htm")), "x");
}

TEST(ReplaceRun, failureAtRowTwo_stopsThereRestoresArrowAndKeepsTitle) {
    test::TempDir dir;
    writeBytes(dir / "1.htm", "a");
    writeBytes(dir / "3.htm", "a");
    RunHarness run;
    run.queue.append(dir / "1.htm", "Queued");
    run.queue.append(dir / "2.htm", "Queued");  // missing
    run.queue.append(dir / "3.htm", "Queued");
    run.window.find = "a";
    run.window.replacement = "b";
    try {
        run.go();
        FAIL() << "a missing file must end the run";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.path1(), dir / "2.htm");
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
    }
    EXPECT_EQ(readBytes(dir / "1.htm"), "b");
    EXPECT_EQ(readBytes(dir / "3.htm"), "a");  // never touched
    EXPECT_FALSE(fs::exists(dir / "2.htm"));   // and not created
    EXPECT_EQ(run.statuses(), (std::vector<std::string>{"Done", "Queued", "Queued"}));
    EXPECT_EQ(run.window.title, "Quillmere");
    EXPECT_EQ(run.window.code, Pointer::Arrow);
}

TEST(ReplaceRun, textsAreEdgeCases_sameFileTwiceGrowsTwiceAndEmptyFindRewritesUnchanged) {
    struct Case {
        std::string find, replacement, content, expected;
    };
    const Case cases[] = {
        {"ab", "abab", "ab", "abababab"},  // queued twice: applied twice
        {"", "zz", "keep me", "keep me"},  // an empty find text changes nothing
        {"b/", "", "xb/yb/", "xy"},        // an empty replacement deletes
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const fs::path page = dir / "p.htm";
        writeBytes(page, c.content);
        const auto before = fs::last_write_time(page) - std::chrono::seconds(10);
        fs::last_write_time(page, before);
        RunHarness run;
        run.queue.append(page, "Queued");
        run.queue.append(page, "Done");
        run.window.find = c.find;
        run.window.replacement = c.replacement;
        run.go();
        EXPECT_EQ(readBytes(page), c.expected) << c.find;
        EXPECT_GT(fs::last_write_time(page), before) << "the file is rewritten all the same";
        EXPECT_EQ(run.statuses(), (std::vector<std::string>{"Done", "Done"}));
        EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
    }
}

TEST(ReplaceRun, hundredThousandRows_runToTheEnd) {
    // Past any 16-bit row counter. tmpfs keeps the 100,000 rewrites quick.
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm))
        GTEST_SKIP() << "no /dev/shm";
    const fs::path page = shm / ("qm-run-" + std::to_string(::getpid()) + ".txt");
    writeBytes(page, "n");
    RunHarness run;
    constexpr std::size_t kRows = 100'000;
    std::vector<platform::QueueEntry> rows(kRows, platform::QueueEntry{page, "Queued"});
    run.queue.append(std::move(rows));
    run.window.find = "n";
    run.window.replacement = "n";
    run.go();
    fs::remove(page);
    EXPECT_EQ(run.list.rows.back().status, "Done");
    EXPECT_EQ(run.list.rows[32767].status, "Done");
    EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
}

}  // namespace
}  // namespace qm
