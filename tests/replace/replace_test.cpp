// The replacement over bytes, against a plain reference and through a rewritten file; the batch:
// rows in order and its failures, against a run of one file after another on random queues,
// under limits that running ahead hits, in the order of its renames, flushes and reports, and
// killed at random instants.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include "replace/replace_run.h"
#include "replace/replace_text.h"
#include "support/fakes.h"
#include "support/file_checks.h"

// The renames and flushes of this program as the system sees them, logged beside what the run
// reports; duringFlush runs inside each flush, as another writer might.
namespace qm::test {
std::mutex logMutex;
Strings calls;  // while logging
bool logging = false;
std::function<void()> duringFlush;

void note(std::string call) {
    const std::lock_guard lock(logMutex);
    if (logging)
        calls.push_back(std::move(call));
}
void flushed(const char* what) {
    note(what);
    const std::lock_guard lock(logMutex);
    if (duringFlush)
        duringFlush();
}
template <class Call>
Call next(const char* name) {
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}
}  // namespace qm::test

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    static const auto real =
        qm::test::next<int (*)(int, const char*, int, const char*)>("renameat");
    qm::test::note("rename " + std::filesystem::path(to).filename().string());
    return real(fromFolder, from, toFolder, to);
}
extern "C" int syncfs(int fd) {
    static const auto real = qm::test::next<int (*)(int)>("syncfs");
    qm::test::flushed("flush");
    return real(fd);
}
extern "C" int fsync(int fd) {
    static const auto real = qm::test::next<int (*)(int)>("fsync");
    struct stat st {};
    qm::test::flushed(::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? "flush" : "flush a file");
    return real(fd);
}

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
        struct : files::SliceSink {
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
    struct Case {
        const char* name;  // "in place": the file has a second name
        std::string content, find, replacement, expect;
    };
    const Case cases[] = {
        {"bytes kept", "\xEF\xBB\xBF\r\n\0old\xFF"s, "old", "n\xC3\xA9w",
         "\xEF\xBB\xBF\r\n\0n\xC3\xA9w\xFF"s},
        {"no match", "a\r\n", "xyz", "q", "a\r\n"},
        {"beyond one write batch", std::string(3000, 'a') + "c", "a", "b",
         std::string(3000, 'b') + "c"},
        {"in place, shorter", "a long old text", "long old ", "", "a text"},
        {"in place, longer", "a text", "a", "a longer", "a longer text"},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        const fs::path file = dir / c.name;
        test::writeBytes(file, c.content);
        if (std::string_view(c.name).starts_with("in place"))
            fs::create_hard_link(file, dir / (std::string(c.name) + " link"));
        const auto before = fs::last_write_time(file) - std::chrono::seconds(10);
        fs::last_write_time(file, before);
        ReplaceInFile(file, c.find, c.replacement).commit();
        EXPECT_EQ(test::readBytes(file), c.expect) << c.name;
        EXPECT_GT(fs::last_write_time(file), before) << c.name;
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
    std::optional<BatchRun> run;
    try {
        const auto rowDone = [&](std::size_t i) {
            ++committed, test::note("done " + files[i].filename().string());
        };
        const auto ended = [&](std::exception_ptr f) { done.set_value(std::move(f)); };
        run.emplace(std::move(paths), texts, workers, BatchRun::Events{rowDone, ended});
    } catch (const std::system_error& e) {
        return "no run: " + e.code().message();
    }
    std::future<std::exception_ptr> result = done.get_future();
    if (result.wait_for(std::chrono::minutes(1)) != std::future_status::ready)
        return "stuck";  // and the run is cancelled
    try {
        if (const std::exception_ptr failure = result.get())
            std::rethrow_exception(failure);
    } catch (const files::FileError& e) {
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
        EXPECT_EQ(readBytes(page) + " " + readBytes(dir / "caf\xe9\xff.htm BACKUP.htm"),
                  "vvvv1 vv1");
        names.insert("caf\xe9\xff.htm BACKUP.htm");
        if (result == "4 rows")
            names.insert({"2.htm BACKUP.htm", "big.htm BACKUP.htm"});
        EXPECT_EQ(test::namesIn(dir.path()), names);  // no other backup, no temporary
    }
}

// Random queues over duplicates, links, files without matches, empty files and other rows'
// backup names (one a hard link to a queued file), some with a failing row, some in a folder
// where nothing may be created (files and backups then written in place): eight workers give
// exactly what one gives. The first rounds are queues that once differed. Returns 0 when all
// agree.
int differentialRounds() {
    std::mt19937 rng(2026);
    const auto pick = [&](std::size_t n) { return rng() % n; };
    const std::string backup = "n0.htm BACKUP.htm";
    Strings pool = test::split("n0.htm n1.htm n2.htm n3.htm n4.htm n5.htm link.htm hard.htm");
    pool.insert(pool.end(), {backup, "n5.htm BACKUP.htm"});
    for (int round = 0; round < 40; ++round) {
        std::map<std::string, std::string> contents{{"n5.htm BACKUP.htm", "old"}};
        for (int i = 0; i < 6; ++i) {
            std::string& text = contents["n" + std::to_string(i) + ".htm"];
            for (std::size_t n = pick(40); n > 0; --n) text += "ab c"[pick(4)];
        }
        Strings queued;
        for (std::size_t n = 5 + pick(15); n > 0; --n) queued.push_back(pool[pick(pool.size())]);
        std::size_t failure = pick(6);  // 0-2: a failing row (missing, read-only, FIFO)
        if (failure < 3)
            queued.insert(queued.begin() + static_cast<long>(pick(queued.size())), "bad.htm");
        RunTexts texts{"ab", "abab", pick(2) == 0};
        bool locked = pick(4) == 0, linkedBackup = pick(2) == 0;
        if (round < 4) {  // a name an earlier row creates; a backup in place in a queued file
            queued = round < 2 ? Strings{"n0.htm", "n1.htm", "n2.htm", backup, "n3.htm", backup}
                               : Strings{"n0.htm", "n3.htm"};
            texts.backup = true, locked = linkedBackup = round >= 2, failure = 3;
            contents["n0.htm"] = std::string(1 << 20, 'a');  // slow enough to be overtaken
            contents["n3.htm BACKUP.htm"] = "old";
        }
        std::string results[2];
        for (const unsigned workers : {1u, 8u}) {
            test::TempDir dir;
            for (const auto& [name, text] : contents) writeBytes(dir / name, text);
            fs::create_symlink("n1.htm", dir / "link.htm");
            fs::create_hard_link(dir / "n2.htm", dir / "hard.htm");
            if (linkedBackup)
                fs::create_hard_link(dir / "n3.htm", dir / backup);
            if (failure == 1)
                writeBytes(dir / "bad.htm", "ab"), ::chmod((dir / "bad.htm").c_str(), 0444);
            if (failure == 2)
                ::mkfifo((dir / "bad.htm").c_str(), 0644);
            if (locked)
                ::chmod(dir.path().c_str(), 0555);
            std::vector<fs::path> files;
            for (const auto& name : queued) files.push_back(dir / name);
            std::string& result = results[workers == 1 ? 0 : 1];
            result = runBatch(files, texts, workers, dir.path());
            for (const auto& [name, state] : snapshot(dir.path()))
                result += " | " + name + ": " + state;
        }
        if (results[0] != results[1]) {
            std::fprintf(stderr, "round %d:\n%s\n%s\n", round, results[0].c_str(),
                         results[1].c_str());
            return 1;
        }
    }
    return 0;
}

// As an ordinary user, whom a folder's permissions bind.
TEST(BatchRun, randomQueues_sameResultAsOneFileAfterAnother) {
    EXPECT_EQ(test::runAs(65534, differentialRounds), 0);
}

// A row is reported only after its renames, the backup's first, and then a flush. A change made
// to a file while the run flushes is caught right before its rename, and the run ends there
// without reporting that row: the change is never lost.
TEST(BatchRun, renamesThenFlushThenReport_aChangeDuringAFlushIsNeverLost) {
    const auto index = [](const std::string& call) {
        const auto at = std::find(test::calls.begin(), test::calls.end(), call);
        EXPECT_NE(at, test::calls.end()) << call;
        return at - test::calls.begin();
    };
    const test::TempDir dir;
    writeBytes(dir / "a.htm", "ab"), writeBytes(dir / "b.htm", "ab");
    test::logging = true;
    EXPECT_EQ(runBatch({dir / "a.htm"}, {"a", "x", true}, 8, dir.path()), "1 rows");
    const auto renamed = index("rename a.htm");
    const auto flush = std::find(test::calls.begin() + renamed, test::calls.end(), "flush");
    EXPECT_LT(index("rename a.htm BACKUP.htm"), renamed);
    EXPECT_LT(flush - test::calls.begin(), index("done a.htm"));
    int appended = 0;
    test::duringFlush = [&] {
        writeBytes(dir / "b.htm", readBytes(dir / "b.htm") + "+"), ++appended;
    };
    EXPECT_EQ(runBatch({dir / "a.htm", dir / "b.htm"}, {"a", "x", true}, 8, dir.path()),
              "1 rows, file changed while it was being rewritten 125 b.htm");
    test::duringFlush = nullptr, test::logging = false;
    EXPECT_EQ(readBytes(dir / "b.htm"), "ab" + std::string(appended, '+'));
    EXPECT_FALSE(fs::exists(dir / "b.htm BACKUP.htm"));
    EXPECT_EQ(std::count(test::calls.begin(), test::calls.end(), "done b.htm"), 0);
}

// Destroyed while it works, a run stops at once: it reports nothing more, and leaves every file
// old or new and no temporary file behind.
TEST(BatchRun, destroyedWhileItWorks_stopsReportsNothingLeavesNoTemporary) {
    const test::TempDir dir;
    PathList files;
    for (int i = 0; i < 1000; ++i)
        writeBytes(dir / std::to_string(i), "a"), files.add(dir / std::to_string(i));
    std::atomic<int> reports = 0, ends = 0;
    std::promise<void> first;
    {
        const BatchRun run(std::move(files), {"a", "b", false}, 8,
                           {[&](std::size_t) {
                                if (reports++ == 0) {
                                    first.set_value();  // and the run is destroyed meanwhile
                                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                                }
                            },
                            [&](std::exception_ptr) { ++ends; }});
        ASSERT_EQ(first.get_future().wait_for(std::chrono::minutes(1)), std::future_status::ready);
    }
    EXPECT_EQ(reports + ends, 1);
    for (const auto& name : test::namesIn(dir.path()))
        ASSERT_TRUE(readBytes(dir / name) == "a" || readBytes(dir / name) == "b") << name;
}

// Limits that running ahead hits and one file after another does not: open files, disk space,
// threads, memory. The run gives what one worker gives; with no thread at all there is no run.
// As an ordinary user, whom the thread limit binds.
TEST(BatchRun, limitsThatRunningAheadHits_sameResultAsOneWorker) {
    struct Case {
        const char* name;
        int resource = RLIMIT_CORE;
        rlim_t limit = 0;             // for memory: beyond what the process has
        const char* space = nullptr;  // a file system of this size holds the files
        const char* expect = "40 rows";
    };
    const Case cases[] = {
        {.name = "open files", .resource = RLIMIT_NOFILE, .limit = 48},
        {.name = "disk space", .space = "size=21m,uid=65534,gid=65534"},
        {.name = "threads", .resource = RLIMIT_NPROC, .limit = 6},
        {.name = "memory", .resource = RLIMIT_AS, .limit = 48u << 20},
        {.name = "no thread at all",
         .resource = RLIMIT_NPROC,
         .limit = 1,
         .expect = "no run: Resource temporarily unavailable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir tmp;
        ::chmod(tmp.path().c_str(), 0755);
        const fs::path dir = tmp / "d";
        fs::create_directory(dir);
        ASSERT_EQ(!c.space || ::mount("qm", dir.c_str(), "tmpfs", 0, c.space) == 0, true);
        ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
        std::vector<fs::path> files;
        for (int i = 0; i < 40; ++i) {
            files.push_back(dir / std::to_string(i));
            writeBytes(files.back(), std::string(256 << 10, 'a'));
            ASSERT_EQ(::chown(files.back().c_str(), 65534, 65534), 0);
        }
        const auto limitedRun = [&] {
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t limit = c.limit + (c.resource == RLIMIT_AS ? pages * 4096 : 0);
            const rlimit to{limit, limit};
            if (c.limit && ::setrlimit(c.resource, &to) != 0)
                return 2;
            const std::string result = runBatch(files, {"a", "b", true}, 128, dir);
            std::fprintf(stderr, "%s\n", result.c_str());
            return int{result != c.expect};
        };
        EXPECT_EQ(test::runAs(65534, limitedRun), 0);
        const bool ran = std::string_view(c.expect) == "40 rows";
        EXPECT_EQ(readBytes(files[39]), std::string(256 << 10, ran ? 'b' : 'a'));
        EXPECT_EQ(test::namesIn(dir).size(), ran ? 80u : 40u);  // backups; no temporary left
        if (c.space)
            ::umount(dir.c_str());
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
            for (const fs::path& p : {files[i], fs::path(files[i].native() + " BACKUP.htm")}) {
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
