// The replace run against its floor and against sd. Three corpora (many HTML
// pages, one huge file, many tiny files); every variant is timed in a forked
// child on its own fresh copy of the corpus. The machine is shared, so the
// variants are interleaved finely: each round walks the corpus in ten slices
// and runs every variant on each slice in turn. Prints, per corpus, the median
// of per-round ratios and the run's peak memory against its target:
//   run:   the replace run as the window starts it (worker threads, every file
//          flushed to disk before it replaces the old one);
//   floor: each file read whole and written back, one after another, through
//          the same safe write path, without any searching;
//   sd:    `sd -s FIND REPLACEMENT FILE...` in batches as xargs makes them
//          (it flushes nothing), where installed.
//
//   replace_bench [--quick] [--rounds N] [--workers N]    (or QM_BENCH_QUICK=1)
//
// Corpora live under $QM_BENCH_DIR or /var/tmp (not tmpfs) and are removed at
// the end, after all rounds: deleting files in between slows the file creation
// that every rename-based writer does.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <future>

#include "bench/median.h"
#include "files/pending_write.h"
#include "replace/replace_run.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kFind = "quillmere-old-host";
constexpr const char* kReplacement = "quillmere-new-host-name";

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

Corpus makeTiny(const fs::path& root, int count, std::mt19937& rng) {
    Corpus c{"tiny", root / "tiny", {}, 0, 0};
    std::uniform_int_distribution<std::size_t> size(150, 250);
    for (int i = 0; i < count; ++i) {
        const fs::path rel =
            fs::path("t" + std::to_string(i % 50)) / ("n" + std::to_string(i) + ".txt");
        if (i < 50)
            fs::create_directories(c.source / rel.parent_path());
        const std::string text = htmlLike(rng, size(rng), i % 2);
        writeFile(c.source / rel, text);
        c.files.push_back(rel);
        c.bytes += text.size();
        c.largest = std::max<std::uint64_t>(c.largest, text.size());
    }
    return c;
}

// A fresh copy, written before any timing, so that a run never works on files another run made.
fs::path freshCopy(const Corpus& c, const fs::path& into) {
    fs::copy(c.source, into, fs::copy_options::recursive);
    return into;
}

// The replace run with a number of workers, the floor, or sd.
struct Variant {
    enum Kind { Run, Floor, Sd } kind;
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

// The work of one variant over (part of) one copy; runs in the measured child.
void work(const Variant& v, const fs::path& root, const Corpus& c) {
    switch (v.kind) {
        case Variant::Run: {
            qm::replace::PathList files;
            for (const auto& f : c.files) files.add(root / f);
            std::promise<std::exception_ptr> finished;
            {
                const qm::replace::BatchRun run(
                    std::move(files), {kFind, kReplacement, false}, v.workers,
                    {[](std::size_t) {}, [&](std::exception_ptr f) { finished.set_value(f); }});
                if (const std::exception_ptr failure = finished.get_future().get())
                    std::rethrow_exception(failure);
            }
            return;
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
            return;
        case Variant::Sd:
            if (!runThroughXargs({"sd", "-s", kFind, kReplacement}, root, c))
                die("sd failed");
            return;
    }
}

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
};

// Times the variant in a forked child, so that its peak memory is its own.
Sample measure(const Variant& v, const fs::path& root, const Corpus& c, std::size_t begin,
               std::size_t end) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        die("pipe");
    const pid_t pid = ::fork();
    if (pid < 0)
        die("fork");
    if (pid == 0) {
        ::close(pipeFds[0]);
        Corpus part = c;
        part.files.assign(c.files.begin() + static_cast<std::ptrdiff_t>(begin),
                          c.files.begin() + static_cast<std::ptrdiff_t>(end));
        const auto start = Clock::now();
        try {
            work(v, root, part);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "replace_bench: %s failed: %s\n", nameOf(v).c_str(), e.what());
            ::_exit(1);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (::write(pipeFds[1], &seconds, sizeof seconds) != sizeof seconds)
            ::_exit(1);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    double seconds = -1;
    const bool got = ::read(pipeFds[0], &seconds, sizeof seconds) == sizeof seconds;
    ::close(pipeFds[0]);
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
    return {seconds, cpu(usage.ru_utime) + cpu(usage.ru_stime),
            static_cast<double>(usage.ru_maxrss) / 1024.0};
}

using qm::bench::median;

bool installed(const char* tool) {
    const std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
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
    const Sizes sizes = quick ? Sizes{1000, 5000, std::uint64_t{64} << 20, 3}
                              : Sizes{10000, 50000, std::uint64_t{1} << 30, 3};
    if (rounds <= 0)
        rounds = sizes.rounds;

    const char* base = std::getenv("QM_BENCH_DIR");
    std::string dirTemplate =
        (fs::path(base ? base : "/var/tmp") / "quillmere-bench-XXXXXX").string();
    if (!::mkdtemp(dirTemplate.data()))
        die("mkdtemp");
    const fs::path root = dirTemplate;
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
    std::map<std::string, std::map<Variant, std::vector<Sample>>> results;
    for (int round = 0; round < rounds; ++round) {
        for (const Corpus& c : corpora) {
            // Copies first, flushed, then the timings: no run pays for another's writeback.
            std::map<Variant, fs::path> copies;
            for (const Variant& v : variants) {
                const auto into = root / ("r" + std::to_string(round)) / c.name / nameOf(v);
                fs::create_directories(into.parent_path());
                copies[v] = freshCopy(c, into);
            }
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
    bool withinTargets = true;
    for (const Corpus& c : corpora) {
        auto& r = results[c.name];
        std::printf("%s: %zu files, %.1f MiB, largest %.1f MiB\n", c.name.c_str(), c.files.size(),
                    static_cast<double>(c.bytes) / (1 << 20),
                    static_cast<double>(c.largest) / (1 << 20));
        for (const Variant& v : variants) {
            std::vector<double> t;
            for (const Sample& s : r[v]) t.push_back(s.seconds);
            std::printf("  %-7s median %8.3f s\n", nameOf(v).c_str(), median(t));
        }
        // The big file is about writing bytes; the many small ones about the cost per file.
        const bool big = c.name == "big";
        const double memoryTarget = 1.2 * static_cast<double>(c.largest) / (1 << 20) + 64;
        for (const Variant& run : runs) {
            const auto ratio = [&](const Variant& other) {
                std::vector<double> ratios;
                for (int i = 0; i < rounds; ++i)
                    ratios.push_back(r[run][i].seconds / r[other][i].seconds);
                return median(ratios);
            };
            const std::string name = nameOf(run);
            const double floorRatio = ratio({Variant::Floor});
            // The three lines as they stand, R a plain number, then the targets in a line of
            // their own: the big file is measured against the floor, the rest against sd.
            std::printf("%s / floor: %.3f\n", name.c_str(), floorRatio);
            bool ok = !big || floorRatio <= 1.15;
            if (withSd) {
                const double sdRatio = ratio({Variant::Sd});
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
            withinTargets = withinTargets && ok && peak <= memoryTarget;
        }
    }
    std::printf("\n%s\nremoving the corpora...\n",
                withinTargets ? "all within targets" : "some figures over target");
    std::fflush(stdout);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
