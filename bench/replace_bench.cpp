// The replace run against its floor, against sd and against a flush per file.
// Every variant is timed in a forked child on its own fresh copy of its files.
// The machine is shared, so variants are interleaved and each figure is the
// median of per-round ratios.
//
// 1. Three corpora (many HTML pages, one huge file, many tiny files), each
//    round walking the corpus in ten slices and running every variant on each
//    slice in turn; the run's peak memory against its target.
// 2. The pages as whole queues on the root file system: run / sd, and what the
//    run's final flush (everything on disk before it reports the end) costs.
// 3. A 10-file and a 1,000-page queue while about 2 GiB of other data waits
//    in the page cache, written just before each timed variant: run / a flush
//    per file.
// 4. The pages as whole queues on a journaled ext4 in a loop-mounted image
//    (root only): run / sd, as the root file system has no journal, which
//    flatters every writer that renames.
// 5. The run's peak memory over a 100,000-row queue of 200-byte paths.
//
//   run:      the replace run as the window starts it (worker threads, every
//             file flushed to disk before it replaces the old one);
//   floor:    each file read whole and written back, one after another,
//             through the same safe write path, without any searching;
//   sd:       `sd -s FIND REPLACEMENT FILE...` in batches as xargs makes them
//             (it flushes nothing), where installed;
//   per-file: every file rewritten and flushed on its own, then its folder
//             (so that its rename is on disk, as the run's are), by as many
//             threads as the run has workers.
//
//   replace_bench [--quick] [--rounds N] [--workers N]    (or QM_BENCH_QUICK=1)
//
// Corpora live under $QM_BENCH_DIR or /var/tmp (not tmpfs) and are removed at
// the end, after all rounds: deleting files in between slows the file creation
// that every rename-based writer does.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/median.h"
#include "files/pending_write.h"
#include "replace/replace_run.h"
#include "replace/replace_text.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// What the measured run does on the way to the disk, seen from outside it: the
// program's own definitions below stand in front of the C library's, so the
// run needs no knob of its own to show when its last rename happened and how
// long its flushes took after it.
namespace probe {

std::atomic<bool> watching{false};  // set in the measured child only
std::atomic<std::int64_t> lastRename{0};
std::mutex mutex;
std::vector<std::pair<std::int64_t, std::int64_t>> flushes;  // start, end

template <class Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int renamed(int result) {
    if (result == 0 && watching.load(std::memory_order_relaxed)) {
        const std::int64_t now = nowNs();
        std::int64_t last = lastRename.load();
        while (last < now && !lastRename.compare_exchange_weak(last, now)) {
        }
    }
    return result;
}

int flushed(std::int64_t start, int result) {
    if (watching.load(std::memory_order_relaxed)) {
        const std::int64_t end = nowNs();
        const std::lock_guard lock(mutex);
        flushes.emplace_back(start, end);
    }
    return result;
}

// Wall time within (from, to] covered by flushes that began after from.
double flushSecondsAfter(std::int64_t from, std::int64_t to) {
    std::vector<std::pair<std::int64_t, std::int64_t>> after;
    {
        const std::lock_guard lock(mutex);
        for (const auto& [start, end] : flushes) {
            if (start >= from && start < to)
                after.emplace_back(start, std::min(end, to));
        }
    }
    std::sort(after.begin(), after.end());
    std::int64_t covered = 0, reached = from;
    for (const auto& [start, end] : after) {
        const std::int64_t begin = std::max(start, reached);
        if (end > begin)
            covered += end - begin;
        reached = std::max(reached, end);
    }
    return static_cast<double>(covered) / 1e9;
}

}  // namespace probe

}  // namespace

extern "C" {

int rename(const char* from, const char* to) noexcept {
    static const auto next = probe::real<int (*)(const char*, const char*)>("rename");
    return probe::renamed(next(from, to));
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) noexcept {
    static const auto next = probe::real<int (*)(int, const char*, int, const char*)>("renameat");
    return probe::renamed(next(fromFolder, from, toFolder, to));
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
              unsigned flags) noexcept {
    static const auto next =
        probe::real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return probe::renamed(next(fromFolder, from, toFolder, to, flags));
}

int fsync(int fd) {
    static const auto next = probe::real<int (*)(int)>("fsync");
    const std::int64_t start = nowNs();
    return probe::flushed(start, next(fd));
}

int fdatasync(int fd) {
    static const auto next = probe::real<int (*)(int)>("fdatasync");
    const std::int64_t start = nowNs();
    return probe::flushed(start, next(fd));
}

int syncfs(int fd) noexcept {
    static const auto next = probe::real<int (*)(int)>("syncfs");
    const std::int64_t start = nowNs();
    return probe::flushed(start, next(fd));
}

}  // extern "C"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFind = "quillmere-old-host";
constexpr const char* kReplacement = "quillmere-new-host-name";
// Other programs' data left waiting in the page cache before each foreign-data variant.
constexpr int kForeignMiB = 2000;
// The memory line's queue.
constexpr int kQueueRows = 100000;
constexpr std::size_t kQueuePathBytes = 200;

struct Corpus {
    std::string name;
    fs::path source;
    std::vector<fs::path> files;  // relative to a copy's root
    std::uint64_t bytes = 0;
    std::uint64_t largest = 0;
};

struct Sizes {
    int pages, tiny;
    std::uint64_t bigBytes;
    int rounds;
    int foreignRounds;  // each variant pays for writing and then syncing kForeignMiB
};

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "replace_bench: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void writeFile(const fs::path& p, std::string_view bytes) {
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        die("create " + p.string());
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            die("write " + p.string());
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// Text that looks like a web page: tags, words, line breaks; the find text in it `hits` times.
std::string htmlLike(std::mt19937& rng, std::size_t size, int hits) {
    static const char* words[] = {"the",  "site",  "page", "quill", "river", "lorem", "ipsum",
                                  "<b>",  "</b>",  "link", "and",   "with",  "table", "&amp;",
                                  "café", "naïve", "mere", "text",  "of",    "header"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
    std::string s = "<!DOCTYPE html>\r\n<html><head><title>Page</title></head>\r\n<body>\r\n";
    while (s.size() < size) {
        s += "<p>";
        for (int w = 0; w < 12; ++w) (s += words[pick(rng)]) += ' ';
        s += "</p>\r\n";
    }
    s.resize(size);
    std::uniform_int_distribution<std::size_t> where(0, size > 64 ? size - 64 : 0);
    for (int i = 0; i < hits && size > 64; ++i) {
        const std::string link = std::string("http://") + kFind + "/";
        s.replace(where(rng), link.size(), link);
    }
    return s;
}

Corpus makePages(const fs::path& root, int count, std::mt19937& rng) {
    Corpus c{"pages", root / "pages", {}, 0, 0};
    std::uniform_int_distribution<std::size_t> size(2 << 10, 40 << 10);
    std::uniform_int_distribution<int> hits(1, 6);
    for (int i = 0; i < count; ++i) {
        const fs::path rel = fs::path("d" + std::to_string(i % 10)) /
                             ("s" + std::to_string(i / 10 % 10)) /
                             ("page" + std::to_string(i) + ".html");
        fs::create_directories((c.source / rel).parent_path());
        const std::string text = htmlLike(rng, size(rng), i % 2 ? hits(rng) : 0);
        writeFile(c.source / rel, text);
        c.files.push_back(rel);
        c.bytes += text.size();
        c.largest = std::max<std::uint64_t>(c.largest, text.size());
    }
    return c;
}

Corpus makeBig(const fs::path& root, std::uint64_t bytes, std::mt19937& rng) {
    Corpus c{"big", root / "big", {"big.html"}, bytes, bytes};
    fs::create_directories(c.source);
    // One 4 MiB block with a match every 8 KiB or so, written over and over.
    const std::string block = htmlLike(rng, std::size_t{4} << 20, 512);
    const int fd = ::open((c.source / "big.html").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        die("create big file");
    for (std::uint64_t done = 0; done < bytes;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - done));
        if (::write(fd, block.data(), n) != static_cast<ssize_t>(n))
            die("write big file");
        done += n;
    }
    ::close(fd);
    return c;
}

// Writes a file of 150 to 250 bytes at rel below c's source (making its folder when new), the
// find text in every other one, and counts it in c.
void addTiny(Corpus& c, const fs::path& rel, bool newFolder, int i, std::mt19937& rng) {
    std::uniform_int_distribution<std::size_t> size(150, 250);
    if (newFolder)
        fs::create_directories(c.source / rel.parent_path());
    const std::string text = htmlLike(rng, size(rng), i % 2);
    writeFile(c.source / rel, text);
    c.files.push_back(rel);
    c.bytes += text.size();
    c.largest = std::max<std::uint64_t>(c.largest, text.size());
}

Corpus makeTiny(const fs::path& root, int count, std::mt19937& rng) {
    Corpus c{"tiny", root / "tiny", {}, 0, 0};
    for (int i = 0; i < count; ++i) {
        addTiny(c, fs::path("t" + std::to_string(i % 50)) / ("n" + std::to_string(i) + ".txt"),
                i < 50, i, rng);
    }
    return c;
}

// The memory line's queue: tiny files in a hundred folders whose long names bring each full path
// under root to about kQueuePathBytes bytes.
Corpus makeQueueFiles(const fs::path& root, int count, std::mt19937& rng) {
    Corpus c{"queue", root / "queue", {}, 0, 0};
    const std::size_t fileName = std::string("n000000.txt").size();
    const std::size_t folderName =
        std::max<std::size_t>(16, kQueuePathBytes - c.source.native().size() - 2 - fileName);
    for (int i = 0; i < count; ++i) {
        std::string folder = "folder-" + std::to_string(i % 100) + "-of-the-long-archive-";
        while (folder.size() < folderName) folder += "quillmere-";
        folder.resize(folderName);
        char name[32];
        std::snprintf(name, sizeof name, "n%06d.txt", i);
        addTiny(c, fs::path(folder) / name, i < 100, i, rng);
    }
    return c;
}

// The first count files of c.
Corpus firstOf(const Corpus& c, std::size_t count) {
    Corpus part{c.name, c.source, {}, 0, 0};
    part.files.assign(c.files.begin(), c.files.begin() + static_cast<std::ptrdiff_t>(
                                                             std::min(count, c.files.size())));
    for (const fs::path& f : part.files) {
        const auto bytes = fs::file_size(c.source / f);
        part.bytes += bytes;
        part.largest = std::max<std::uint64_t>(part.largest, bytes);
    }
    return part;
}

// A fresh copy of c's files, written before any timing, so that a run never works on files
// another run made.
fs::path freshCopy(const Corpus& c, const fs::path& into) {
    fs::path made;
    for (const fs::path& f : c.files) {
        const fs::path folder = (into / f).parent_path();
        if (folder != made) {
            fs::create_directories(folder);
            made = folder;
        }
        fs::copy_file(c.source / f, into / f);
    }
    return into;
}

// The replace run with a number of workers, the floor, sd, or a flush per file.
struct Variant {
    enum Kind { Run, Floor, Sd, PerFile } kind;
    unsigned workers = 0;
    auto operator<=>(const Variant&) const = default;
};

bool gSeveralRuns = false;  // runs with several worker counts, named by their count

std::string nameOf(const Variant& v) {
    switch (v.kind) {
        case Variant::Run:
            return gSeveralRuns ? "run@" + std::to_string(v.workers) : "run";
        case Variant::Floor:
            return "floor";
        case Variant::Sd:
            return "sd";
        case Variant::PerFile:
            return "per-file";
    }
    return "?";
}

// Runs `xargs -0 command...` with the files on its standard input; false if it failed.
bool runThroughXargs(const std::vector<std::string>& command, const fs::path& root,
                     const Corpus& c) {
    std::string list;
    for (const auto& f : c.files) (list += (root / f).native()) += '\0';
    std::vector<std::string> args = {"xargs", "-0"};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe(fds) != 0)
        die("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[0], 0);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[0]);
    for (std::size_t done = 0; done < list.size();) {
        const ssize_t n = ::write(fds[1], list.data() + done, list.size() - done);
        if (n <= 0)
            die("write to xargs");
        done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The replace run over files, as the window starts it; returns when it reported the end, on
// nowNs()'s clock.
std::int64_t runOver(qm::replace::PathList files, unsigned workers) {
    std::int64_t finishedAt = 0;
    std::promise<std::exception_ptr> finished;
    const qm::replace::BatchRun run(std::move(files), {kFind, kReplacement, false}, workers,
                                    {[](std::size_t) {},
                                     [&](std::exception_ptr failure) {
                                         finishedAt = nowNs();
                                         finished.set_value(failure);
                                     }});
    if (const std::exception_ptr failure = finished.get_future().get())
        std::rethrow_exception(failure);
    return finishedAt;
}

// The work of one variant over (part of) one copy; runs in the measured child. Returns when
// the run reported its end (0 for the others).
std::int64_t work(const Variant& v, const fs::path& root, const Corpus& c) {
    switch (v.kind) {
        case Variant::Run: {
            qm::replace::PathList files;
            for (const auto& f : c.files) files.add(root / f);
            return runOver(std::move(files), v.workers);
        }
        case Variant::Floor:
            for (const auto& f : c.files) {
                const qm::files::InputFile file(root / f);
                const qm::files::Bytes bytes = file.readAll();
                const std::string_view content = bytes.view();
                qm::files::PendingWrite::rewrite(file, content, [content](qm::files::SliceSink& s) {
                    s.put(content);
                }).commit();
            }
            return 0;
        case Variant::Sd:
            if (!runThroughXargs({"sd", "-s", kFind, kReplacement}, root, c))
                die("sd failed");
            return 0;
        case Variant::PerFile: {
            // Each file replaced and flushed before its rename, on its own, so that nothing
            // waits for other programs' data; as many files at once as the run has workers.
            std::atomic<std::size_t> next{0};
            std::mutex failing;
            std::exception_ptr failure;
            const auto rewriteSome = [&] {
                for (std::size_t i = next++; i < c.files.size(); i = next++) {
                    try {
                        const fs::path path = root / c.files[i];
                        qm::replace::ReplaceInFile file(path, kFind, kReplacement);
                        file.commit();
                        // The rename on disk too, as the run's are before it reports them.
                        const int folder =
                            ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                        if (folder < 0 || ::fsync(folder) != 0)
                            die("flush folder " + path.parent_path().string());
                        ::close(folder);
                    } catch (...) {
                        const std::lock_guard lock(failing);
                        failure = std::current_exception();
                        next = c.files.size();
                    }
                }
            };
            std::vector<std::thread> threads;
            const std::size_t count =
                std::clamp<std::size_t>(c.files.size(), 1, std::max(1u, v.workers));
            for (std::size_t t = 0; t < count; ++t) threads.emplace_back(rewriteSome);
            for (std::thread& t : threads) t.join();
            if (failure)
                std::rethrow_exception(failure);
            return 0;
        }
    }
    return 0;
}

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    double toFinished = 0;  // run: from its start to its reported end
    double finalFlush = 0;  // run: flushing after its last rename, before its reported end
    double dirtyMiB = 0;    // data waiting in the page cache when it started
};

// Forks a child with a pipe from it to the parent: the child's pid (0 in the child) and the end
// of the pipe this side keeps (the child writes, the parent reads).
std::pair<pid_t, int> forkWithPipe() {
    int fds[2];
    if (::pipe(fds) != 0)
        die("pipe");
    const pid_t pid = ::fork();
    if (pid < 0)
        die("fork");
    ::close(fds[pid == 0 ? 0 : 1]);
    return {pid, fds[pid == 0 ? 1 : 0]};
}

// Times the variant in a forked child, so that its peak memory is its own.
Sample measure(const Variant& v, const fs::path& root, const Corpus& c, std::size_t begin,
               std::size_t end) {
    struct Times {
        double seconds, toFinished, finalFlush;
    };
    const auto [pid, channel] = forkWithPipe();
    if (pid == 0) {
        Corpus part = c;
        part.files.assign(c.files.begin() + static_cast<std::ptrdiff_t>(begin),
                          c.files.begin() + static_cast<std::ptrdiff_t>(end));
        probe::watching = v.kind == Variant::Run;
        const std::int64_t start = nowNs();
        Times times{};
        try {
            const std::int64_t finishedAt = work(v, root, part);
            times.seconds = static_cast<double>(nowNs() - start) / 1e9;
            if (finishedAt != 0) {
                times.toFinished = static_cast<double>(finishedAt - start) / 1e9;
                times.finalFlush = probe::flushSecondsAfter(probe::lastRename, finishedAt);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "replace_bench: %s failed: %s\n", nameOf(v).c_str(), e.what());
            ::_exit(1);
        }
        if (::write(channel, &times, sizeof times) != sizeof times)
            ::_exit(1);
        ::_exit(0);
    }
    Times times{-1, 0, 0};
    const bool got = ::read(channel, &times, sizeof times) == sizeof times;
    ::close(channel);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "replace_bench: %s on %s failed\n", nameOf(v).c_str(), c.name.c_str());
        std::exit(1);
    }
    const auto cpu = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    Sample s;
    s.seconds = times.seconds;
    s.cpuSeconds = cpu(usage.ru_utime) + cpu(usage.ru_stime);
    s.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    s.toFinished = times.toFinished;
    s.finalFlush = times.finalFlush;
    return s;
}

using qm::bench::median;
using Samples = std::map<Variant, std::vector<Sample>>;

bool installed(const char* tool) {
    const std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

double mib(std::uint64_t bytes) {
    return static_cast<double>(bytes) / (1 << 20);
}

// A "Name: N kB" line of a /proc file, in bytes; 0 where the kernel does not say.
std::uint64_t procBytes(const char* file, const char* name) {
    std::FILE* f = std::fopen(file, "re");
    if (!f)
        return 0;
    const std::string format = std::string(name) + ": %llu kB";
    unsigned long long kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, format.c_str(), &kib) == 1)
            break;
    }
    std::fclose(f);
    return std::uint64_t{kib} << 10;
}

// Data in the page cache waiting to be written, as the run's group flush judges it.
std::uint64_t unwrittenBytes() {
    return procBytes("/proc/meminfo", "Dirty") + procBytes("/proc/meminfo", "Writeback");
}

bool gWithinTargets = true;

// A figure on a line of its own, then its target and whether it is met.
void judge(const std::string& figure, double value, const char* unit, double limit,
           const std::string& target) {
    std::printf("%s: %.*f%s\n", figure.c_str(), *unit ? 1 : 3, value, unit);
    const bool met = value <= limit;
    std::printf("  target %s: %s\n", target.c_str(), met ? "met" : "MISSED");
    gWithinTargets = gWithinTargets && met;
}

double medianRatio(const std::vector<Sample>& a, const std::vector<Sample>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i].seconds / b[i].seconds);
    return median(ratios);
}

// Each variant over the whole of c, on its own fresh copy under `under`, interleaved round by
// round; beforeEach runs right before each timed variant, afterEach right after it. A variant
// whose conditions did not hold (undisturbed, given the data waiting in the page cache before
// and after it) is timed again on another fresh copy, up to three times in all: on a shared
// machine another program's sync can write out what beforeEach left waiting.
Samples wholeQueues(const Corpus& c, const std::vector<Variant>& variants, const fs::path& under,
                    int rounds, const std::function<void()>& beforeEach = {},
                    const std::function<void()>& afterEach = {},
                    const std::function<bool(double, double)>& undisturbed = {}) {
    constexpr int kTries = 3;
    Samples samples;
    for (int round = 0; round < rounds; ++round) {
        const fs::path roundDir = under / ("r" + std::to_string(round));
        std::map<Variant, fs::path> copies;
        for (const Variant& v : variants) copies[v] = freshCopy(c, roundDir / nameOf(v));
        ::sync();
        std::vector<Variant> order = variants;
        std::rotate(order.begin(), order.begin() + round % order.size(), order.end());
        for (const Variant& v : order) {
            for (int attempt = 1;; ++attempt) {
                const fs::path copy =
                    attempt == 1 ? copies[v]
                                 : freshCopy(c, roundDir / (nameOf(v) + std::to_string(attempt)));
                ::sync();
                if (beforeEach)
                    beforeEach();
                const double dirty = mib(unwrittenBytes());
                Sample s = measure(v, copy, c, 0, c.files.size());
                const double dirtyAfter = mib(unwrittenBytes());
                if (afterEach)
                    afterEach();
                s.dirtyMiB = dirty;
                const bool held = !undisturbed || undisturbed(dirty, dirtyAfter);
                const bool kept = held || attempt == kTries;
                std::printf(
                    "  round %d %-6s %-8s %8.3f s  cpu %8.3f s  %8.1f MiB  (%.0f MiB dirty, %.0f "
                    "after)%s\n",
                    round + 1, c.name.c_str(), nameOf(v).c_str(), s.seconds, s.cpuSeconds,
                    s.peakMiB, dirty, dirtyAfter,
                    held   ? ""
                    : kept ? "  disturbed, kept"
                           : "  disturbed, timed again");
                std::fflush(stdout);
                if (kept) {
                    samples[v].push_back(s);
                    break;
                }
            }
        }
    }
    return samples;
}

void printMedians(const Samples& samples, const std::vector<Variant>& variants) {
    for (const Variant& v : variants) {
        std::vector<double> t;
        for (const Sample& s : samples.at(v)) t.push_back(s.seconds);
        std::printf("  %-8s median %8.3f s\n", nameOf(v).c_str(), median(t));
    }
}

// What the run's last flush, between its last rename and its reported end, adds to its time.
void judgeFinalFlush(const std::vector<Sample>& run) {
    std::vector<double> ratios, flushes;
    for (const Sample& s : run) {
        ratios.push_back(s.toFinished / (s.toFinished - s.finalFlush));
        flushes.push_back(s.finalFlush * 1000);
    }
    std::printf("final flush: median %.1f ms\n", median(flushes));
    judge("final flush: run / run without it", median(ratios), "", 1.05, "final flush <= 1.05");
}

// Pages on the root file system, whole queues: run / sd, and the final flush's cost.
void wholePages(const Corpus& pages, const Variant& run, bool withSd, const fs::path& under,
                int rounds) {
    std::printf("\npages as whole queues, %zu files, root file system:\n", pages.files.size());
    std::vector<Variant> variants = {run};
    if (withSd)
        variants.push_back({Variant::Sd});
    const Samples samples = wholeQueues(pages, variants, under, rounds);
    printMedians(samples, variants);
    if (withSd)
        judge("whole queue: run / sd", medianRatio(samples.at(run), samples.at({Variant::Sd})), "",
              1.0, "run / sd <= 1.0");
    judgeFinalFlush(samples.at(run));
}

// Writes mebibytes of data to file and leaves it waiting in the page cache, as a download or a
// virtual machine would.
void leaveDirty(const fs::path& file, int mebibytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        die("create " + file.string());
    const std::string block(std::size_t{1} << 20, 'q');
    for (int i = 0; i < mebibytes; ++i) {
        if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
            die("write " + file.string());
    }
    ::close(fd);
}

// Small and middling queues while other data waits in the cache on the same file system,
// against every file flushed on its own.
void foreignDirty(const Corpus& pages, const Variant& run, const fs::path& under, int rounds) {
    const Variant perFile{Variant::PerFile, run.workers};
    const fs::path foreign = under / "foreign-dirty.dat";
    for (const std::size_t count : {std::size_t{10}, std::size_t{1000}}) {
        const Corpus part = firstOf(pages, count);
        std::printf("\n%zu pages, %d MiB of other data left dirty before each:\n",
                    part.files.size(), kForeignMiB);
        const std::vector<Variant> variants = {run, perFile};
        const Samples samples = wholeQueues(
            part, variants, under / std::to_string(count), rounds,
            [&] { leaveDirty(foreign, kForeignMiB); },
            [&] {
                ::sync();
                fs::remove(foreign);
            },
            [](double before, double after) {
                return std::min(before, after) >= 0.75 * kForeignMiB;
            });
        printMedians(samples, variants);
        judge(std::to_string(part.files.size()) + " files, foreign data dirty: run / per-file",
              medianRatio(samples.at(run), samples.at(perFile)), "", 1.5, "run / per-file <= 1.5");
    }
}

// The journaled image while it is mounted, for the exit paths to take away.
std::string gImage, gMountPoint;
pid_t gMainPid = 0;

void unmountImage() {
    if (::getpid() != gMainPid)
        return;  // a child that exits is not the bench
    // Detached lazily only if still busy: the loop device goes with the last user.
    if (!gMountPoint.empty() && ::umount2(gMountPoint.c_str(), 0) != 0)
        ::umount2(gMountPoint.c_str(), MNT_DETACH);
    if (!gImage.empty())
        ::unlink(gImage.c_str());
    gMountPoint.clear();
    gImage.clear();
}

extern "C" void onSignal(int signal) {
    // Only system calls here: no loop mount outlives an interrupted bench.
    if (!gMountPoint.empty())
        ::umount2(gMountPoint.c_str(), MNT_DETACH);
    if (!gImage.empty())
        ::unlink(gImage.c_str());
    ::_exit(128 + signal);
}

std::string quoted(const fs::path& p) {
    std::string q = "'";
    for (const char ch : p.native()) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// A journaled ext4 in a loop-mounted image (truncate -s 4G; mkfs.ext4; mount -o loop), or an
// empty path where that cannot be made (it needs root). unmountImage() takes it away.
fs::path mountImage(const fs::path& under) {
    if (::geteuid() != 0 || !installed("mkfs.ext4"))
        return {};
    const fs::path image = under / "journaled.img";
    const fs::path mountPoint = under / "journaled";
    fs::create_directories(mountPoint);
    gImage = image.native();
    const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, off_t{4} << 30) != 0)
        die("create " + image.string());
    ::close(fd);
    const std::string make = "mkfs.ext4 -q -F " + quoted(image);
    const std::string mount = "mount -o loop " + quoted(image) + " " + quoted(mountPoint);
    if (std::system(make.c_str()) != 0 || std::system(mount.c_str()) != 0) {
        unmountImage();
        return {};
    }
    gMountPoint = mountPoint.native();
    return mountPoint;
}

// The pages on the journaled image: there, creating a file does not scan past recently freed
// inodes, as it does on the root file system, so renames cost what they cost on most machines.
void journaledPages(const Corpus& pages, const Variant& run, bool withSd,
                    const fs::path& mountPoint, int rounds) {
    std::printf("\npages as whole queues, %zu files, journaled ext4 in a loop-mounted image:\n",
                pages.files.size());
    if (mountPoint.empty() || !withSd) {
        std::printf("  left out: needs root, mkfs.ext4, loop devices and sd\n");
        return;
    }
    const std::vector<Variant> variants = {run, {Variant::Sd}};
    const Samples samples = wholeQueues(pages, variants, mountPoint / "pages", rounds);
    printMedians(samples, variants);
    judge("journaled: run / sd", medianRatio(samples.at(run), samples.at({Variant::Sd})), "", 1.0,
          "run / sd <= 1.0");
    judgeFinalFlush(samples.at(run));
}

// The run over a long queue, in a child: the peak of its memory over what the queue itself
// held before the run, against the target of 24 MiB plus 1.2 times the largest file.
void queueMemory(const Corpus& queue, const Variant& run) {
    struct Figures {
        double queueMiB, peakOverMiB;
        bool fromHighWater;
    };
    std::printf("\n%zu-row queue, paths of about %zu bytes:\n", queue.files.size(),
                kQueuePathBytes);
    const auto [pid, channel] = forkWithPipe();
    if (pid == 0) {
        Figures figures{};
        try {
            const std::uint64_t empty = procBytes("/proc/self/status", "VmRSS");
            // The window's queue keeps one string per row; the run is given a copy of the paths.
            std::vector<std::string> rows;
            for (const fs::path& f : queue.files) rows.push_back((queue.source / f).native());
            const std::uint64_t held = procBytes("/proc/self/status", "VmRSS");
            // The kernel's high-water mark starts again from here (5: reset the peak).
            std::FILE* clear = std::fopen("/proc/self/clear_refs", "we");
            figures.fromHighWater = clear && std::fputs("5", clear) >= 0;
            if (clear)
                figures.fromHighWater = std::fclose(clear) == 0 && figures.fromHighWater;
            const std::uint64_t before = procBytes("/proc/self/status", "VmRSS");
            {
                // As the window starts a run: its paths copied into the run's own list.
                qm::replace::PathList files;
                files.reserve(rows.size());
                for (const std::string& row : rows) files.add(row);
                runOver(std::move(files), run.workers);
            }
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage);
            const std::uint64_t peak = figures.fromHighWater
                                           ? procBytes("/proc/self/status", "VmHWM")
                                           : std::uint64_t(usage.ru_maxrss) << 10;
            figures.queueMiB = mib(held - empty);
            figures.peakOverMiB = mib(peak - before);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "replace_bench: run over the queue failed: %s\n", e.what());
            ::_exit(1);
        }
        if (::write(channel, &figures, sizeof figures) != sizeof figures)
            ::_exit(1);
        ::_exit(0);
    }
    Figures figures{};
    const bool got = ::read(channel, &figures, sizeof figures) == sizeof figures;
    ::close(channel);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "replace_bench: run over the queue failed\n");
        std::exit(1);
    }
    std::printf("the queue held %.1f MiB before the run%s\n", figures.queueMiB,
                figures.fromHighWater ? "" : " (peak from maxrss: the high-water mark not reset)");
    const double target = 24 + 1.2 * mib(queue.largest);
    char targetText[64];
    std::snprintf(targetText, sizeof targetText, "<= %.1f MiB", target);
    judge("queue of " + std::to_string(queue.files.size()) +
              " rows: run peak memory over the queue's",
          figures.peakOverMiB, " MiB", target, targetText);
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = std::getenv("QM_BENCH_QUICK") != nullptr;
    int rounds = 0;
    std::string workerCounts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--workers") == 0 && i + 1 < argc)
            workerCounts = argv[++i];
    }
    // The run as the window starts it, or one run per worker count asked for.
    std::vector<Variant> runs;
    for (std::size_t at = 0; at < workerCounts.size();) {
        std::size_t comma = workerCounts.find(',', at);
        if (comma == std::string::npos)
            comma = workerCounts.size();
        runs.push_back(
            {Variant::Run, static_cast<unsigned>(std::stoul(workerCounts.substr(at, comma - at)))});
        at = comma + 1;
    }
    if (runs.empty())
        runs.push_back({Variant::Run, qm::replace::BatchRun::defaultWorkers()});
    gSeveralRuns = runs.size() > 1;
    const Sizes sizes = quick ? Sizes{1000, 5000, std::uint64_t{64} << 20, 3, 2}
                              : Sizes{10000, 50000, std::uint64_t{1} << 30, 3, 3};
    if (rounds <= 0)
        rounds = sizes.rounds;
    const int foreignRounds = std::min(rounds, sizes.foreignRounds);

    const char* base = std::getenv("QM_BENCH_DIR");
    std::string dirTemplate =
        (fs::path(base ? base : "/var/tmp") / "quillmere-bench-XXXXXX").string();
    if (!::mkdtemp(dirTemplate.data()))
        die("mkdtemp");
    const fs::path root = dirTemplate;
    gMainPid = ::getpid();
    std::atexit(unmountImage);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf(
        "corpora under %s%s, %d rounds, run with %s workers\n", root.c_str(),
        quick ? " (quick)" : "", rounds,
        workerCounts.empty() ? std::to_string(runs[0].workers).c_str() : workerCounts.c_str());

    std::mt19937 rng(42);
    const std::vector<Corpus> corpora = {makePages(root / "src", sizes.pages, rng),
                                         makeBig(root / "src", sizes.bigBytes, rng),
                                         makeTiny(root / "src", sizes.tiny, rng)};
    std::vector<Variant> variants = runs;
    variants.push_back({Variant::Floor});
    const bool withSd = installed("sd");
    if (withSd)
        variants.push_back({Variant::Sd});
    else
        std::printf("sd: not installed, left out\n");

    // results[corpus][variant] = one sample per round
    std::map<std::string, Samples> results;
    for (int round = 0; round < rounds; ++round) {
        for (const Corpus& c : corpora) {
            // Copies first, flushed, then the timings: no run pays for another's writeback.
            std::map<Variant, fs::path> copies;
            for (const Variant& v : variants)
                copies[v] = freshCopy(c, root / ("r" + std::to_string(round)) / c.name / nameOf(v));
            ::sync();
            std::map<Variant, Sample> total;
            const std::size_t slices = std::min<std::size_t>(10, c.files.size());
            for (std::size_t slice = 0; slice < slices; ++slice) {
                const std::size_t begin = c.files.size() * slice / slices;
                const std::size_t end = c.files.size() * (slice + 1) / slices;
                // Rotate the order, so that no variant always goes first.
                std::vector<Variant> order = variants;
                std::rotate(order.begin(), order.begin() + (round + slice) % order.size(),
                            order.end());
                for (const Variant& v : order) {
                    // What the variant before left unwritten (sd flushes nothing) goes to the
                    // disk now, not in the middle of the next one's timing.
                    ::sync();
                    const Sample s = measure(v, copies[v], c, begin, end);
                    total[v].seconds += s.seconds;
                    total[v].cpuSeconds += s.cpuSeconds;
                    total[v].peakMiB = std::max(total[v].peakMiB, s.peakMiB);
                }
            }
            for (const Variant& v : variants) {
                const Sample& s = total[v];
                results[c.name][v].push_back(s);
                std::printf("  round %d %-6s %-7s %8.3f s  cpu %8.3f s  %8.1f MiB\n", round + 1,
                            c.name.c_str(), nameOf(v).c_str(), s.seconds, s.cpuSeconds, s.peakMiB);
            }
            std::fflush(stdout);
        }
    }

    std::printf("\n");
    for (const Corpus& c : corpora) {
        auto& r = results[c.name];
        std::printf("%s: %zu files, %.1f MiB, largest %.1f MiB\n", c.name.c_str(), c.files.size(),
                    mib(c.bytes), mib(c.largest));
        for (const Variant& v : variants) {
            std::vector<double> t;
            for (const Sample& s : r[v]) t.push_back(s.seconds);
            std::printf("  %-7s median %8.3f s\n", nameOf(v).c_str(), median(t));
        }
        // The big file is about writing bytes; the many small ones about the cost per file.
        const bool big = c.name == "big";
        const double memoryTarget = 1.2 * mib(c.largest) + 64;
        for (const Variant& run : runs) {
            const std::string name = nameOf(run);
            const double floorRatio = medianRatio(r[run], r[{Variant::Floor}]);
            // The three lines as they stand, R a plain number, then the targets in a line of
            // their own: the big file is measured against the floor, the rest against sd.
            std::printf("%s / floor: %.3f\n", name.c_str(), floorRatio);
            bool ok = !big || floorRatio <= 1.15;
            if (withSd) {
                const double sdRatio = medianRatio(r[run], r[{Variant::Sd}]);
                std::printf("%s / sd: %.3f\n", name.c_str(), sdRatio);
                ok = ok && (big || sdRatio <= 1.0);
            }
            double peak = 0;
            for (const Sample& s : r[run]) peak = std::max(peak, s.peakMiB);
            std::printf("%s peak memory: %.1f MiB (target <= %.1f MiB)\n", name.c_str(), peak,
                        memoryTarget);
            std::printf("  target %s: %s\n",
                        big      ? "run / floor <= 1.15"
                        : withSd ? "run / sd <= 1.0"
                                 : "none without sd",
                        ok && peak <= memoryTarget ? "met" : "MISSED");
            gWithinTargets = gWithinTargets && ok && peak <= memoryTarget;
        }
    }
    std::fflush(stdout);

    // The rest with the run as the window starts it.
    const Variant run = runs.front();
    wholePages(corpora[0], run, withSd, root / "whole", rounds);
    foreignDirty(corpora[0], run, root / "foreign", foreignRounds);
    const fs::path image = mountImage(root / "journaled");
    journaledPages(corpora[0], run, withSd, image, rounds);
    // On the image where there is one: it goes at once, where 100,000 files take minutes to
    // delete one by one.
    queueMemory(makeQueueFiles(image.empty() ? root / "src" : image, kQueueRows, rng), run);
    unmountImage();

    std::printf("\n%s\nremoving the corpora...\n",
                gWithinTargets ? "all within targets" : "some figures over target");
    std::fflush(stdout);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
