#pragma once
// The batch replace run behind the "Replace Text" button.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/message_boxes.h"
#include "platform/ui_thread.h"
#include "platform/window_port.h"
#include "queue/file_queue.h"

namespace qm::replace {

using queue::kBackupSuffix;
// Follows the program's title once a run over a non-empty queue has finished.
inline constexpr std::string_view kDoneSuffix = " [ Done! ]";
inline constexpr std::string_view kNoFiles = "No files added.";

// The backup's path: the file's whole path with the suffix appended as bytes.
std::filesystem::path backupPath(const std::filesystem::path& file);

// What a run does to every file; read once, when it starts.
struct RunTexts {
    std::string find;
    std::string replacement;
    bool backup = false;
};

// The paths of a run, kept compactly: each row's name, and each folder once
// for all its rows, so a long queue needs far less memory than one path
// object, or string, per row.
class PathList {
public:
    // Makes room for count paths.
    void reserve(std::size_t count) { rows_.reserve(count); }
    // Appends a path.
    void add(const std::filesystem::path& path);
    // Number of paths.
    std::size_t size() const { return rows_.size(); }
    // The path at index (< size()).
    std::filesystem::path operator[](std::size_t index) const;

private:
    struct Row {
        std::size_t nameEnd;   // in names_
        std::uint32_t folder;  // in folders_
    };
    std::unordered_map<std::string, std::uint32_t> folderIndex_;  // with the final separator
    std::vector<const std::string*> folders_;                     // the keys above, by index
    std::string names_;
    std::vector<Row> rows_;
};

// Rewrites files, each backed up first if asked, on threads of its own. Worker
// threads prepare rows ahead (read, replace, new content and backup written
// beside the file); one committer flushes them to disk in groups and puts them
// in place strictly in order, so the result is the one a run of one file after
// another gives: a row waits for every earlier row that could touch its file.
// A row is reported committed only once its rename is on disk. The first
// failure ends the run, rows after it left exactly as they were; a row that
// fails for want of space, memory, open files or threads while others are in
// flight is prepared again alone, and only a failure then counts.
class BatchRun {
public:
    // Called on the committer thread.
    struct Events {
        std::function<void(std::size_t index)> committed;          // files[index] is rewritten
        std::function<void(std::exception_ptr failure)> finished;  // null when all were
    };
    // workers: temporary files in flight at most (1: one file after another); a row with a
    // backup writes two, and a short queue starts no more workers than it has rows. Runs with
    // the workers that can be started; throws std::system_error if no thread can be.
    BatchRun(PathList files, RunTexts texts, unsigned workers, Events events);
    // Stops after the row being committed, without reporting, and waits for every thread.
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    // The number of workers for this machine.
    static unsigned defaultWorkers();

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
    std::thread committer_;
};

// Starts a run over the queue as it stands, with the window's texts and backup
// option. The pointer shows the hourglass, and the window takes no input,
// until the run ends; rows turn "Done" one by one as they are committed. The
// end, through ui: the arrow, then the "Done!" title or the failure's box. An
// empty queue gets the "No files added." box at once, and no run.
std::unique_ptr<BatchRun> startReplace(queue::FileQueue& queue, platform::WindowPort& window,
                                       platform::MessageBoxes& boxes, platform::UiThread& ui);

}  // namespace qm::replace
