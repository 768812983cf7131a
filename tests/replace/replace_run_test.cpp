// The batch run: what the window shows, the result against a run of one file after another on
// random queues, and a run killed at random instants.
#include "replace/replace_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "support/fakes.h"
#include "support/file_checks.h"
#include "support/temp_dir.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using platform::Pointer;
using test::readBytes;
using test::writeBytes;
using Strings = std::vector<std::string>;

// startReplace over fake window parts and real files.
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
    // Starts a run and lets it end: the arrow is back.
    void go() {
        run = startReplace(queue, window, boxes, ui);
        ASSERT_TRUE(ui.runUntil([&] { return window.code == Pointer::Arrow; }));
    }
    Strings statuses() const {
        Strings out;
        for (const auto& r : list.rows) out.push_back(r.status);
        return out;
    }
    Strings boxTexts() const {
        Strings out;
        for (const auto& b : boxes.shown) out.push_back(b.text);
        return out;
    }
};

TEST(ReplaceRun, emptyQueue_saysNoFilesAddedUnderTheHourglassAndLeavesTitle) {
    Harness run("a", "b", false);
    run.go();
    ASSERT_EQ(run.boxes.shown.size(), 1u);
    EXPECT_EQ(run.boxes.shown[0].text, "No files added.");
    EXPECT_EQ(run.boxes.shown[0].pointerWhileShown, Pointer::Hourglass);
    EXPECT_EQ(run.window.code, Pointer::Arrow);
    EXPECT_EQ(run.window.title, "Quillmere");
}

// The same file twice grows twice, and its backup holds what the row before left; a second run
// replaces each backup with what the first left. A name that is not UTF-8 keeps its bytes.
TEST(ReplaceRun, everyRowDoneInOrder_backupsBeforeEachRow_titleSaysDone) {
    test::TempDir dir;
    const fs::path page = dir / "caf\xe9\xff.htm";
    const fs::path backup = dir / "caf\xe9\xff.htm BACKUP.htm";
    writeBytes(page, "v1");
    Harness run("v", "vv", true);
    run.queue.append(page, "Queued");
    run.queue.append(page);  // as the folder import adds it: no status
    for (const auto& [content, backedUp] :
         {std::pair{"vvvv1", "vv1"}, {"vvvvvvvvvvvvvvvv1", "vvvvvvvv1"}}) {
        run.go();
        EXPECT_EQ(readBytes(page), content);
        EXPECT_EQ(readBytes(backup), backedUp);
        EXPECT_EQ(run.statuses(), (Strings{"Done", "Done"}));
        EXPECT_EQ(run.window.title, "Quillmere [ Done! ]");
    }
    EXPECT_EQ(run.window.pointerHistory,
              (std::vector<Pointer>{Pointer::Hourglass, Pointer::Arrow, Pointer::Hourglass,
                                    Pointer::Arrow}));
    EXPECT_TRUE(run.boxes.shown.empty());
}

// The first failing row ends the run: the rows before it are done, it and the rows after it are
// left as they were (no backup either), the title stays, and the box says what failed and why.
TEST(ReplaceRun, failingRow_endsTheRunThereAndTellsWhatAndWhy) {
    const std::vector<std::tuple<const char*, std::function<void(const fs::path&)>, std::string>>
        cases = {
            {"missing", [](const fs::path&) {}, "cannot open (No such file or directory)"},
            {"read-only", [](const fs::path& f) { writeBytes(f, "v"), ::chmod(f.c_str(), 0444); },
             "file is read-only (Permission denied)"},
            {"FIFO", [](const fs::path& f) { ::mkfifo(f.c_str(), 0644); },
             "not a regular file (Operation not supported)"},
        };
    for (const auto& [what, make, reason] : cases) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        writeBytes(dir / "1.htm", "v");
        writeBytes(dir / "3.htm", "v");
        make(dir / "2.htm");
        Harness run("v", "w", true);
        for (const char* name : {"1.htm", "2.htm", "3.htm"}) run.queue.append(dir / name, "Queued");
        run.go();
        EXPECT_EQ(run.boxTexts(), Strings{(dir / "2.htm").string() + "\n" + reason});
        EXPECT_EQ(run.boxes.shown[0].pointerWhileShown, Pointer::Arrow);
        EXPECT_EQ(run.statuses(), (Strings{"Done", "Queued", "Queued"}));
        EXPECT_EQ(readBytes(dir / "1.htm"), "w");
        EXPECT_EQ(readBytes(dir / "3.htm"), "v");
        std::set<std::string> names{"1.htm", "1.htm BACKUP.htm", "3.htm"};
        if (fs::exists(fs::symlink_status(dir / "2.htm")))
            names.insert("2.htm");
        EXPECT_EQ(test::namesIn(dir.path()), names);  // no other backup, no temporary
        EXPECT_EQ(run.window.title, "Quillmere");
    }
}

struct Outcome {
    std::vector<std::size_t> committed;
    std::string failure;  // reason, code and path below the corpus
};

Outcome runBatch(std::vector<fs::path> files, const RunTexts& texts, unsigned workers,
                 const fs::path& root) {
    Outcome out;
    std::promise<std::exception_ptr> done;
    {
        BatchRun run(std::move(files), texts, workers,
                     {[&](std::size_t i) { out.committed.push_back(i); },
                      [&](std::exception_ptr f) { done.set_value(f); }});
        if (const std::exception_ptr f = done.get_future().get()) {
            try {
                std::rethrow_exception(f);
            } catch (const platform::FileError& e) {
                out.failure = e.reason() + " " + std::to_string(e.code().value()) + " " +
                              e.path().lexically_relative(root).string();
            }
        }
    }
    return out;
}

// Every name below root with what a user would compare: kind, link target, bytes, mode, links.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& name : test::namesIn(root)) {
        const fs::path p = root / name;
        struct stat st {};
        ::lstat(p.c_str(), &st);
        out[name] = std::to_string(st.st_mode) + " " + std::to_string(st.st_nlink) + " " +
                    (S_ISLNK(st.st_mode)   ? fs::read_symlink(p).string()
                     : S_ISREG(st.st_mode) ? readBytes(p)
                                           : "");
    }
    return out;
}

// Random queues over duplicates, links, files without matches, empty files and other rows'
// backup names, some with a failing row: eight workers give exactly what one gives.
TEST(BatchRun, randomQueues_sameResultAsOneFileAfterAnother) {
    std::mt19937 rng(2026);
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::map<std::string, std::string> contents;
        for (int i = 0; i < 6; ++i) {
            std::string text;
            for (std::size_t n = pick(40); n > 0; --n) text += "ab c"[pick(4)];
            contents["n" + std::to_string(i) + ".htm"] = text;
        }
        contents["n5.htm BACKUP.htm"] = "old backup";
        const Strings pool = {"n0.htm",           "n1.htm",   "n2.htm",
                              "n3.htm",           "n4.htm",   "n5.htm",
                              "link.htm",         "hard.htm", "n0.htm BACKUP.htm",
                              "n5.htm BACKUP.htm"};
        Strings queued;
        for (std::size_t n = 5 + pick(15); n > 0; --n) queued.push_back(pool[pick(pool.size())]);
        const int failure = static_cast<int>(pick(6));  // 0-2: a failing row of that kind
        if (failure < 3)
            queued.insert(queued.begin() + static_cast<std::ptrdiff_t>(pick(queued.size())),
                          "bad.htm");
        const RunTexts texts{"ab", "abab", pick(2) == 0};

        std::vector<std::map<std::string, std::string>> results;
        std::vector<Outcome> outcomes;
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
            outcomes.push_back(runBatch(files, texts, workers, dir.path()));
            results.push_back(snapshot(dir.path()));  // also: no temporary left
        }
        EXPECT_EQ(outcomes[1].committed, outcomes[0].committed);
        EXPECT_EQ(outcomes[1].failure, outcomes[0].failure) << [&] {
            std::string q;
            for (auto& n : queued) q += n + " | ";
            return q + (texts.backup ? "backup" : "");
        }();
        EXPECT_EQ(results[1], results[0]);
    }
}

// A run of many workers, with backups, killed at random instants: every file and every backup
// holds one whole version, and at most one temporary file per worker is left over.
TEST(BatchRun, killedAtRandomInstants_everyFileAndBackupOldOrNew) {
    constexpr unsigned kWorkers = 8;
    test::TempDir dir;
    std::vector<std::pair<fs::path, std::size_t>> files{{dir / "big.htm", 1u << 20}};
    for (std::size_t i = 1; i <= 60; ++i) files.emplace_back(dir / std::to_string(i), i * 50);
    std::vector<fs::path> paths;
    for (const auto& [path, n] : files) {
        writeBytes(path, std::string(n, 'a'));
        paths.push_back(path);
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        while (pid == 0) {
            for (const auto& [find, replacement] : {std::pair{"a", "bb"}, {"bb", "a"}})
                runBatch(paths, {find, replacement, true}, kWorkers, dir.path());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + rng() % 80));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself";
        for (const auto& [path, n] : files) {
            for (const fs::path& p : {path, backupPath(path)}) {
                if (!fs::exists(p))
                    continue;
                const std::string now = readBytes(p);
                ASSERT_TRUE(now == std::string(n, 'a') || now == std::string(2 * n, 'b'))
                    << p << " is mixed after round " << round;
            }
        }
        std::size_t temps = 0;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.path().filename().string().starts_with("~quillmere-")) {
                ++temps;
                fs::remove(entry.path());
            }
        }
        ASSERT_LE(temps, kWorkers) << "after round " << round;
    }
}

}  // namespace
}  // namespace qm::replace
