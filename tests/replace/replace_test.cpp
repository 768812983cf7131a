// The replacement over bytes, against a plain reference and through a rewritten file; the batch:
// rows in order and its failures, against a run of one file after another on random queues, and
// killed at random instants.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <random>
#include <thread>

#include "replace/replace_run.h"
#include "replace/replace_text.h"
#include "support/fakes.h"
#include "support/file_checks.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::readBytes;
using test::Strings;
using test::writeBytes;

// Random bytes over a small alphabet, so that matches, near-matches and runs are common.
std::string randomBytes(std::mt19937& rng, std::size_t maxLength) {
    std::string s(rng() % (maxLength + 1), ' ');
    for (char& c : s) c = "abA\0\xFF\n"[rng() % 6];
    return s;
}

// The reference: compare at every position, skip behind each match.
TEST(ReplaceText, randomBytes_agreeWithAPlainReference) {
    std::mt19937 rng(20240607);
    for (int i = 0; i < 5000; ++i) {
        const std::string content = randomBytes(rng, 80), find = randomBytes(rng, 4),
                          replacement = randomBytes(rng, 5);
        std::string expected;
        for (std::size_t at = 0; at < content.size();) {
            const bool match = !find.empty() && content.compare(at, find.size(), find) == 0;
            expected += match ? replacement : content.substr(at, 1);
            at += match ? find.size() : 1;
        }
        struct : platform::SliceSink {
            std::string out;
            void put(std::string_view bytes) override { out.append(bytes); }
        } sink;
        replaceAll(content, find, replacement, sink);
        ASSERT_EQ(sink.out, expected) << i;
    }
}

// The file holds exactly the result, nothing appended or recoded, and is rewritten even when
// nothing matched; a file with a second name is rewritten in place, shorter or longer.
TEST(ReplaceText, edgeCases_throughTheFile) {
    const std::tuple<const char*, std::string, std::string, std::string, std::string> cases[] = {
        {"bytes kept", "\xEF\xBB\xBF\r\n\0old\xFF"s, "old", "n\xC3\xA9w",
         "\xEF\xBB\xBF\r\n\0n\xC3\xA9w\xFF"s},
        {"no match", "a\r\n", "xyz", "q", "a\r\n"},
        {"beyond one write batch", std::string(5000, 'a') + "b", "a", "", "b"},
        {"in place, shorter", "a long old text", "long old ", "", "a text"},
        {"in place, longer", "a text", "a", "a longer", "a longer text"},
    };
    test::TempDir dir;
    for (const auto& [what, content, find, replacement, expected] : cases) {
        const fs::path file = dir / what;
        test::writeBytes(file, content);
        if (std::string_view(what).starts_with("in place"))
            fs::create_hard_link(file, dir / (std::string(what) + " link"));
        const auto before = fs::last_write_time(file) - std::chrono::seconds(10);
        fs::last_write_time(file, before);
        ReplaceInFile(file, find, replacement).commit();
        EXPECT_EQ(test::readBytes(file), expected) << what;
        EXPECT_GT(fs::last_write_time(file), before) << what;
    }
}

// Runs a batch to its end: how many rows it committed, and the failure (reason, code, path below
// root).
std::string runBatch(std::vector<fs::path> files, const RunTexts& texts, unsigned workers,
                     const fs::path& root) {
    std::atomic<std::size_t> committed = 0;  // counted from the workers
    std::promise<std::exception_ptr> done;
    PathList paths;
    for (const fs::path& file : files) paths.add(file);
    BatchRun run(std::move(paths), texts, workers,
                 {[&](std::size_t) { ++committed; },
                  [&](std::exception_ptr f) { done.set_value(std::move(f)); }});
    std::future<std::exception_ptr> result = done.get_future();
    if (result.wait_for(std::chrono::minutes(1)) != std::future_status::ready)
        return "stuck";  // and the run is cancelled
    try {
        if (const std::exception_ptr failure = result.get())
            std::rethrow_exception(failure);
    } catch (const platform::FileError& e) {
        return std::to_string(committed.load()) + " rows, " + e.reason() + " " +
               std::to_string(e.code().value()) + " " + e.path().lexically_relative(root).string();
    }
    return std::to_string(committed.load()) + " rows";
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

// Rows run in order, each file backed up first: the same file queued twice grows twice and its
// backup holds what the row before left, and a name that is not UTF-8 keeps its bytes. The first
// failing row ends the batch there: it and the rows after it are left as they were (no backup
// either), and the failure says what and why. A file larger than a run holds at once still runs.
TEST(BatchRun, rowsInOrderBackedUp_theFirstFailureEndsTheBatch) {
    const std::pair<std::function<void(const fs::path&)>, std::string> cases[] = {
        {[](auto& f) { writeBytes(f, "v"); }, "4 rows"},
        {[](auto&) {}, "2 rows, cannot open the file 2 2.htm"},
        {[](auto& f) { writeBytes(f, "v"), ::chmod(f.c_str(), 0444); },
         "2 rows, file is read-only 13 2.htm"},
        {[](auto& f) { ::mkfifo(f.c_str(), 0644); }, "2 rows, not a regular file 95 2.htm"},
    };
    for (const auto& [make, result] : cases) {
        SCOPED_TRACE(result);
        const test::TempDir dir;
        const fs::path page = dir / "caf\xe9\xff.htm";
        writeBytes(page, "v1");
        make(dir / "2.htm");
        writeBytes(dir / "big.htm", std::string(33u << 20, 'x'));
        std::set<std::string> names = test::namesIn(dir.path());
        EXPECT_EQ(runBatch({page, page, dir / "2.htm", dir / "big.htm"}, {"v", "vv", true}, 8,
                           dir.path()),
                  result);
        EXPECT_EQ(readBytes(page) + " " + readBytes(backupPath(page)), "vvvv1 vv1");
        names.insert(backupPath(page).filename());
        if (result == "4 rows")
            names.insert({"2.htm BACKUP.htm", "big.htm BACKUP.htm"});
        EXPECT_EQ(test::namesIn(dir.path()), names);  // no other backup, no temporary
    }
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
            results.emplace_back(snapshot(dir.path()), runBatch(files, texts, workers, dir.path()));
        }
        ASSERT_EQ(results[1], results[0]) << "round " << round;
    }
}

// A run of many workers, with backups, killed at random instants: every file and every backup
// holds one whole version, and at most one temporary file per worker is left over.
TEST(BatchRun, killedAtRandomInstants_everyFileAndBackupOldOrNew) {
    constexpr unsigned kWorkers = 8;
    test::TempDir dir;
    const auto size = [](std::size_t i) { return i == 0 ? std::size_t{1} << 20 : i * 50; };
    std::vector<fs::path> files;
    for (std::size_t i = 0; i <= 60; ++i) {
        files.push_back(dir / std::to_string(i));
        writeBytes(files[i], std::string(size(i), 'a'));
    }
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
                const std::string old(size(i), 'a'), now = fs::exists(p) ? readBytes(p) : old;
                ASSERT_TRUE(now == old || now == std::string(2 * size(i), 'b'))
                    << p << " is mixed after round " << round;
            }
        }
        unsigned temps = 0;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("~quillmere-"))
                temps += fs::remove(entry.path());
        ASSERT_LE(temps, kWorkers) << "after round " << round;
    }
}

}  // namespace
}  // namespace qm::replace
