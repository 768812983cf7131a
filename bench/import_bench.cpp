// Folder import at scale: a tree of 100,000 files in 5,000 folders imported
// into the real queue model, side by side with `find DIR -type f` on the same
// tree, in interleaved rounds. Prints the medians, the median of the per-round
// ratios, and the memory each queued row takes.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/median.h"
#include "platform/qt_queue_model.h"
#include "queue/add_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTopFolders = 50;
constexpr int kFoldersPerTop = 99;   // 50 + 50 * 99 = 5,000 folders below the root
constexpr int kFilesPerFolder = 20;  // 5,000 * 20 = 100,000 files
constexpr int kRounds = 7;

class ChosenFolder final : public qm::platform::FileDialogs {
public:
    explicit ChosenFolder(fs::path folder) : folder_(std::move(folder)) {}
    std::string showOpen(std::uint32_t, std::string_view, std::string_view) override { return {}; }
    fs::path browseForFolder(std::string_view) override { return folder_; }

private:
    fs::path folder_;
};

// Every name ends in .htm, so no question comes; should one come, it is counted.
class CountingBoxes final : public qm::platform::MessageBoxes {
public:
    int shown = 0;
    qm::platform::Answer show(std::string_view, qm::platform::Buttons) override {
        ++shown;
        return qm::platform::Answer::Yes;
    }
};

void makeFiles(const fs::path& folder) {
    fs::create_directory(folder);
    for (int f = 0; f < kFilesPerFolder; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "page-%02d.htm", f);
        const int fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            throw std::runtime_error("cannot create " + (folder / name).string());
        ::close(fd);
    }
}

void makeTree(const fs::path& root) {
    fs::create_directory(root);
    for (int t = 0; t < kTopFolders; ++t) {
        const fs::path top = root / ("section-" + std::to_string(t));
        makeFiles(top);
        for (int s = 0; s < kFoldersPerTop; ++s) makeFiles(top / ("chapter-" + std::to_string(s)));
    }
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double timeFind(const fs::path& root) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string dir = root.native();
    char find[] = "find", type[] = "-type", f[] = "f";
    char* argv[] = {find, dir.data(), type, f, nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) {
        throw std::runtime_error("cannot start find");
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("find failed");
    return seconds(end - start);
}

struct ImportResult {
    double seconds;
    std::size_t rows;
    double heapBytesPerRow;
    double pathHeapBytes;  // the heap one row's path takes alone
};

ImportResult timeImport(const fs::path& root) {
    // The model as the window has it: two columns, a list view attached.
    qm::platform::QueueModel model;
    model.addColumn(QStringLiteral("Filename"));
    model.addColumn(QStringLiteral("Status"));
    QTreeView view;
    view.setModel(&model);
    qm::queue::FileQueue queue(model);
    ChosenFolder dialogs(root);
    CountingBoxes boxes;
    qm::files::PosixDirListing listing;

    const std::size_t heapBefore = mallinfo2().uordblks;
    const auto start = Clock::now();
    qm::queue::importFolder(queue, dialogs, boxes, listing);
    const auto end = Clock::now();
    const std::size_t heapAfter = mallinfo2().uordblks;
    if (boxes.shown != 0)
        throw std::runtime_error("the import asked a question");
    // Many copies, so that the allocator's small caches do not hide them.
    const fs::path& sample = queue.path(queue.count());
    std::vector<fs::path> copies;
    copies.reserve(10000);
    const std::size_t beforePaths = mallinfo2().uordblks;
    for (int c = 0; c < 10000; ++c) copies.push_back(sample);
    const std::size_t afterPaths = mallinfo2().uordblks;
    return {seconds(end - start), queue.count(),
            static_cast<double>(heapAfter - heapBefore) / static_cast<double>(queue.count()),
            static_cast<double>(afterPaths - beforePaths) / 10000.0};
}

using qm::bench::median;

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    char tmpl[] = "/tmp/qm-import-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = fs::path(tmpl) / "tree";
    std::printf("building %d files in %d folders under %s ...\n",
                kTopFolders * (kFoldersPerTop + 1) * kFilesPerFolder,
                kTopFolders * (kFoldersPerTop + 1), root.c_str());
    std::fflush(stdout);
    makeTree(root);

    // One warm-up of each, so both start from the same cached tree.
    timeFind(root);
    const ImportResult warm = timeImport(root);

    std::vector<double> finds, imports, ratios;
    for (int round = 0; round < kRounds; ++round) {
        const double f = timeFind(root);
        const double i = timeImport(root).seconds;
        finds.push_back(f);
        imports.push_back(i);
        ratios.push_back(i / f);
        std::printf("round %d: find %.3f s, import %.3f s, ratio %.2f\n", round + 1, f, i, i / f);
    }
    const double ratio = median(ratios);
    std::printf("import of %zu files: median %.3f s; find -type f: median %.3f s\n", warm.rows,
                median(imports), median(finds));
    std::printf("import / find (median of %d round ratios): %.2fx (target at most 2.00x: %s)\n",
                kRounds, ratio, ratio <= 2.0 ? "met" : "NOT met");
    std::printf(
        "memory per queued row: %.0f bytes of heap (one row's std::filesystem::path alone: %.0f, "
        "its parsed components included)\n",
        warm.heapBytesPerRow, warm.pathHeapBytes);

    std::error_code ec;
    fs::remove_all(tmpl, ec);
    return 0;
}
