// The batch run: what the window shows, the result against a run of one file after another on
// random queues, and a run killed at random instants.
#include "replace/replace_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <future>
#include <map>
#include <random>
#include <thread>

#include "platform/errors.h"
#include "support/fakes.h"
#include "support/file_checks.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using platform::Pointer;
using test::readBytes;
using test::Strings;
using test::writeBytes;

// startReplace over fake window parts and real files: go() starts a run and lets it end.
struct Harness {
    test::FakeList list;
    test::FakeWindow window;
    test::FakeBoxes boxes;
    test::FakeUiThread ui;
    queue::FileQueue queue{list};
    std::unique_ptr<BatchRun> run;

    Harness(std::string find, std::string replacement, bool backup) {
        boxes.window = &window;
        window.find = std::move(find);
        window.replacement = std::move(replacement);
        window.backup = backup;
    }
    void go() {
        run = startReplace(queue, window, boxes, ui);
        ASSERT_TRUE(ui.runUntil([&] { return window.pointer() == Pointer::Arrow; }));
    }
};

// The same file twice grows twice, and its backup holds what the row before left; a second run
// replaces each backup with what the first left. A name that is not UTF-8 keeps its bytes.
TEST(ReplaceRun, everyRowDoneInOrder_backupsBeforeEachRow_titleSaysDone) {
    test::TempDir dir;
    const fs::path page = dir / "caf\xe9\xff.htm";
    writeBytes(page, "v1");
    Harness run("v", "vv", true);
    run.queue.append(page, "Queued");
    run.queue.append(page);  // as the folder import adds it: no status
    writeBytes(dir / "big.htm", std::string(33u << 20, 'x'));  // more than a run holds at once
    run.queue.append(dir / "big.htm");
    for (const auto& [content, backedUp] :
         {std::pair{"vvvv1", "vv1"}, {"vvvvvvvvvvvvvvvv1", "vvvvvvvv1"}}) {
        run.go();
        EXPECT_EQ(readBytes(page), content);
        EXPECT_EQ(readBytes(backupPath(page)), backedUp);
        EXPECT_EQ(run.list.column(true), (Strings{"Done", "Done", "Done"}));
        EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
    }
    using enum Pointer;
    EXPECT_EQ(run.window.pointers, (std::vector{Default, Hourglass, Arrow, Hourglass, Arrow}));
    EXPECT_TRUE(run.boxes.shown.empty());
}

// The first failing row ends the run: the rows before it are done, it and the rows after it are
// left as they were (no backup either), the title stays, and the box says what failed and why.
TEST(ReplaceRun, failingRow_endsTheRunThereAndTellsWhatAndWhy) {
    const std::pair<std::function<void(const fs::path&)>, std::string> cases[] = {
        {[](const fs::path&) {}, "cannot open (No such file or directory)"},
        {[](auto& f) { writeBytes(f, "v"), ::chmod(f.c_str(), 0444); },
         "file is read-only (Permission denied)"},
        {[](auto& f) { ::mkfifo(f.c_str(), 0644); },
         "not a regular file (Operation not supported)"},
    };
    for (const auto& [make, reason] : cases) {
        SCOPED_TRACE(reason);
        test::TempDir dir;
        writeBytes(dir / "1.htm", "v");
        writeBytes(dir / "3.htm", "v");
        make(dir / "2.htm");
        Harness run("v", "w", true);
        for (const char* name : {"1.htm", "2.htm", "3.htm"}) run.queue.append(dir / name, "Queued");
        std::set<std::string> names = test::namesIn(dir.path());
        run.go();
        ASSERT_EQ(run.boxes.shown.size(), 1u);
        EXPECT_EQ(run.boxes.shown[0].text, (dir / "2.htm").native() + "\n" + reason);
        EXPECT_EQ(run.boxes.shown[0].pointer, Pointer::Arrow);
        EXPECT_EQ(run.list.column(true), (Strings{"Done", "Queued", "Queued"}));
        EXPECT_EQ(readBytes(dir / "1.htm") + readBytes(dir / "3.htm"), "wv");
        names.insert("1.htm BACKUP.htm");
        EXPECT_EQ(test::namesIn(dir.path()), names);  // no other backup, no temporary
        EXPECT_EQ(run.window.title, "Quillmere");
    }
}

// Runs a batch to its end: the rows committed, and the failure (reason, code, path below root).
std::pair<std::vector<std::size_t>, std::string> runBatch(std::vector<fs::path> files,
                                                          const RunTexts& texts, unsigned workers,
                                                          const fs::path& root) {
    std::vector<std::size_t> committed;
    std::promise<std::exception_ptr> done;
    BatchRun run(std::move(files), texts, workers,
                 {[&](std::size_t i) { committed.push_back(i); },
                  [&](std::exception_ptr f) { done.set_value(std::move(f)); }});
    try {
        if (const std::exception_ptr failure = done.get_future().get())
            std::rethrow_exception(failure);
    } catch (const platform::FileError& e) {
        return {committed, e.reason() + " " + std::to_string(e.code().value()) + " " +
                               e.path().lexically_relative(root).string()};
    }
    return {committed, ""};
}

// Every name below root with kind, links, and link target or bytes.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& name : test::namesIn(root)) {  // also: no temporary left
        struct stat st {};
        ::lstat((root / name).c_str(), &st);
        out[name] = std::to_string(st.st_mode) + " " + std::to_string(st.st_nlink) + " " +
                    (S_ISLNK(st.st_mode)   ? fs::read_symlink(root / name).string()
                     : S_ISREG(st.st_mode) ? readBytes(root / name)
                                           : "");
    }
    return out;
}

// Random queues over duplicates, links, files without matches, empty files and other rows'
// backup names, some with a failing row: eight workers give exactly what one gives.
TEST(BatchRun, randomQueues_sameResultAsOneFileAfterAnother) {
    std::mt19937 rng(2026);
    const auto pick = [&](std::size_t n) { return rng() % n; };
    Strings pool = test::split("n0.htm n1.htm n2.htm n3.htm n4.htm n5.htm link.htm hard.htm");
    pool.insert(pool.end(), {"n0.htm BACKUP.htm", "n5.htm BACKUP.htm"});
    for (int round = 0; round < 40; ++round) {
        std::map<std::string, std::string> contents{{"n5.htm BACKUP.htm", "old backup"}};
        for (int i = 0; i < 6; ++i) {
            std::string& text = contents["n" + std::to_string(i) + ".htm"];
            for (std::size_t n = pick(40); n > 0; --n) text += "ab c"[pick(4)];
        }
        Strings queued;
        for (std::size_t n = 5 + pick(15); n > 0; --n) queued.push_back(pool[pick(pool.size())]);
        const std::size_t failure = pick(6);  // 0-2: a failing row (missing, read-only, FIFO)
        if (failure < 3)
            queued.insert(queued.begin() + static_cast<long>(pick(queued.size())), "bad.htm");
        const RunTexts texts{"ab", "abab", pick(2) == 0};
        std::vector<std::pair<std::map<std::string, std::string>, std::string>> results;
        for (const unsigned workers : {1u, 8u}) {
            test::TempDir dir;
            for (const auto& [name, text] : contents) writeBytes(dir / name, text);
            fs::create_symlink("n1.htm", dir / "link.htm");
            fs::create_hard_link(dir / "n2.htm", dir / "hard.htm");
            if (failure == 1)
                writeBytes(dir / "bad.htm", "ab"), ::chmod((dir / "bad.htm").c_str(), 0444);
            if (failure == 2)
                ::mkfifo((dir / "bad.htm").c_str(), 0644);
            std::vector<fs::path> files;
            for (const auto& name : queued) files.push_back(dir / name);
            const auto [committed, failed] = runBatch(files, texts, workers, dir.path());
            results.emplace_back(snapshot(dir.path()),
                                 std::to_string(committed.size()) + " rows, " + failed);
        }
        ASSERT_EQ(results[1], results[0]) << "round " << round;
    }
}

// A run of many workers, with backups, killed at random instants: every file and every backup
// holds one whole version, and at most one temporary file per worker is left over.
TEST(BatchRun, killedAtRandomInstants_everyFileAndBackupOldOrNew) {
    constexpr unsigned kWorkers = 8;
    test::TempDir dir;
    std::vector<fs::path> files{dir / "big.htm"};
    std::vector<std::size_t> sizes{1u << 20};
    for (std::size_t i = 1; i <= 60; ++i) {
        files.push_back(dir / std::to_string(i));
        sizes.push_back(i * 50);
    }
    for (std::size_t i = 0; i < files.size(); ++i) writeBytes(files[i], std::string(sizes[i], 'a'));
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        while (pid == 0) {
            for (const auto& [find, replacement] : {std::pair{"a", "bb"}, {"bb", "a"}})
                runBatch(files, {find, replacement, true}, kWorkers, dir.path());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + rng() % 80));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself";
        for (std::size_t i = 0; i < files.size(); ++i) {
            for (const fs::path& p : {files[i], backupPath(files[i])}) {
                const std::string now = fs::exists(p) ? readBytes(p) : std::string(sizes[i], 'a');
                ASSERT_TRUE(now == std::string(sizes[i], 'a') ||
                            now == std::string(2 * sizes[i], 'b'))
                    << p << " is mixed after round " << round;
            }
        }
        unsigned temps = 0;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.path().filename().string().starts_with("~quillmere-"))
                temps += fs::remove(entry.path());
        }
        ASSERT_LE(temps, kWorkers) << "after round " << round;
    }
}

}  // namespace
}  // namespace qm::replace
