#include "replace/replace_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/errors.h"
#include "replace/replace_text.h"

namespace qm::replace {

namespace {

// File contents held in memory by the rows in flight, at most; a larger file waits until it
// can be alone.
constexpr std::uint64_t kMemoryBudget = std::uint64_t{32} << 20;
// Each worker holds one row in flight, and each flush of the file system takes every row
// written before it: many more rows in flight than cores pays (measured on two cores: 64 per
// core beat 32, 16 and 8). A row holds up to five descriptors (the file, its folder and a final
// link's, two temporary files), so the count stays under the usual limit of 1024 open files.
constexpr unsigned kWorkersPerCore = 64;
constexpr unsigned kMostWorkers = 128;

struct FileId {
    dev_t device;
    ino_t inode;
    bool operator==(const FileId&) const = default;
};

// One row read, replaced and written beside its file, waiting to be committed.
struct Prepared {
    Prepared(const std::filesystem::path& path, const RunTexts& texts, platform::GroupFlush& group)
        : rewrite(path, texts.find, texts.replacement, &group) {
        if (texts.backup) {
            backup.emplace(platform::PendingWrite::backup(rewrite.file(), rewrite.content(),
                                                          backupPath(path), &group));
        }
    }
    // The backup takes its name first, then the new content the file's (which checks again
    // that the file is unchanged).
    void commit() {
        if (backup) {
            rewrite.file().checkUnchanged();
            backup->commit();
        }
        rewrite.commit();
    }

    ReplaceInFile rewrite;
    std::optional<platform::PendingWrite> backup;
};

}  // namespace

std::filesystem::path backupPath(const std::filesystem::path& file) {
    // Appended to the native bytes, so a name that is not valid UTF-8 keeps them.
    std::string bytes = file.native();
    bytes += kBackupSuffix;
    return std::filesystem::path(std::move(bytes));
}

// Each worker holds one row at a time, from its claim until it closes the row after
// its commit. Rows are claimed in order, one at a time, within the memory limit; a
// claimed row waits until no earlier uncommitted row touches its file, is prepared,
// and then waits for the committer.
struct BatchRun::Shared {
    struct Row {
        // What a row touches. Names, with their folders resolved, stay when a rewrite gives the
        // file a new inode; the inode joins hard links. No inode (no such file yet): the row
        // waits for every earlier one.
        std::vector<std::string> names;  // the file's, its target's and its backup's
        std::optional<FileId> file;
        std::uint64_t bytes = 0;
        std::unique_ptr<Prepared> prepared;  // prepared; back from the committer once in place
        std::exception_ptr failure;
        unsigned worker = 0;  // the one that prepared it, and closes it once it is in place

        bool touchesTheFileOf(const Row& earlier) const;
    };

    Shared(std::vector<std::filesystem::path> f, RunTexts t, unsigned workers, Events e)
        : files(std::move(f)), texts(std::move(t)), events(std::move(e)), rows(files.size()) {
        // With backups every row writes two temporary files; a short queue needs fewer workers.
        threadCount = std::max(1u, workers / (texts.backup ? 2 : 1));
        threadCount = static_cast<unsigned>(std::clamp<std::size_t>(files.size(), 1, threadCount));
        committedOne = std::vector<std::condition_variable>(threadCount);
    }

    void work(unsigned me);
    void commitAll();
    Row identify(const std::filesystem::path& path);
    bool conflictsWithEarlier(std::size_t row) const;
    // Passes news on; nothing may escape a thread, and a run goes on without its news.
    static void report(const std::function<void()>& news) noexcept {
        try {
            news();
        } catch (...) {
        }
    }

    const std::vector<std::filesystem::path> files;
    const RunTexts texts;
    const Events events;
    platform::GroupFlush flush;  // the rows' new content reaches the disk in groups
    unsigned threadCount = 1;
    std::vector<std::thread> workers;

    std::mutex claiming;  // held while a row is claimed: rows take their limits in order
    std::map<std::string, std::string> folders;  // resolved folders, while claiming
    std::mutex mutex;                            // guards everything below
    std::condition_variable ready;               // a row is prepared (or failed), for the committer
    std::condition_variable freed;               // a row is committed or closed, or the run stops
    std::vector<std::condition_variable> committedOne;  // per worker: its row is in place
    std::vector<Row> rows;
    std::size_t nextToClaim = 0;
    std::size_t committed = 0;  // rows before this one are in place
    std::uint64_t bytesInFlight = 0;
    bool noMoreClaims = false;  // a row failed: no later row will be committed
    bool stop = false;
    bool cancelled = false;
};

bool BatchRun::Shared::Row::touchesTheFileOf(const Row& earlier) const {
    if (!file || file == earlier.file)
        return true;
    for (const std::string& name : names) {
        if (std::find(earlier.names.begin(), earlier.names.end(), name) != earlier.names.end())
            return true;
    }
    return false;
}

BatchRun::Shared::Row BatchRun::Shared::identify(const std::filesystem::path& path) {
    Row row;
    struct stat st {};
    std::error_code error;
    if (::lstat(path.c_str(), &st) != 0)
        return row;
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(path.c_str(), &st) != 0)
        return row;
    const std::filesystem::path folder = path.parent_path();
    auto resolved = folders.find(folder.native());
    if (resolved == folders.end()) {
        const auto real = std::filesystem::canonical(folder.empty() ? "." : folder, error);
        if (error)
            return row;
        resolved = folders.emplace(folder.native(), real.native()).first;
    }
    const std::string name = resolved->second + '/' + path.filename().native();
    row.names.push_back(name);
    if (link) {
        const auto target = std::filesystem::canonical(path, error);
        if (error)
            return row;
        row.names.push_back(target.native());
    }
    if (texts.backup)
        row.names.push_back(name + std::string(kBackupSuffix));
    row.bytes = static_cast<std::uint64_t>(st.st_size);
    row.file = FileId{st.st_dev, st.st_ino};
    return row;
}

bool BatchRun::Shared::conflictsWithEarlier(std::size_t row) const {
    for (std::size_t i = committed; i < row; ++i) {
        if (rows[row].touchesTheFileOf(rows[i]))
            return true;
    }
    return false;
}

void BatchRun::Shared::work(unsigned me) {
    for (;;) {
        std::size_t row = 0;
        {
            const std::lock_guard claim(claiming);
            {
                const std::lock_guard lock(mutex);
                if (stop || noMoreClaims || nextToClaim == files.size())
                    return;
                row = nextToClaim++;
            }
            Row identified = identify(files[row]);
            std::unique_lock lock(mutex);
            freed.wait(lock, [&] {
                return stop || bytesInFlight == 0 ||
                       bytesInFlight + identified.bytes <= kMemoryBudget;
            });
            if (stop)
                return;
            bytesInFlight += identified.bytes;
            rows[row] = std::move(identified);
            rows[row].worker = me;
        }
        {
            std::unique_lock lock(mutex);
            freed.wait(lock, [&] { return stop || !conflictsWithEarlier(row); });
            if (stop)
                return;
        }
        std::unique_ptr<Prepared> prepared;
        std::exception_ptr failure;
        try {
            prepared = std::make_unique<Prepared>(files[row], texts, flush);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex);
            if (!stop) {
                rows[row].prepared = std::move(prepared);
                rows[row].failure = failure;
                noMoreClaims = noMoreClaims || failure;
            }
        }
        ready.notify_one();
        if (!prepared && failure)
            return;  // the run ends at this row
        // Once the row is in place, its worker closes it: the last close of a replaced file
        // frees its blocks, which can wait on the disk, and the committer should not.
        std::unique_lock lock(mutex);
        committedOne[me].wait(lock, [&] { return committed > row || stop; });
        if (committed <= row)
            return;  // the run stopped first: its temporary files go with the rows
        prepared = std::move(rows[row].prepared);
        lock.unlock();
        prepared.reset();
        lock.lock();
        bytesInFlight -= rows[row].bytes;
        lock.unlock();
        freed.notify_all();
    }
}

void BatchRun::Shared::commitAll() {
    std::exception_ptr failure;
    for (std::size_t row = 0; row < files.size(); ++row) {
        std::unique_ptr<Prepared> prepared;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return stop || rows[row].prepared || rows[row].failure; });
            if (stop)
                break;
            if (rows[row].failure) {
                failure = rows[row].failure;
                break;
            }
            prepared = std::move(rows[row].prepared);
        }
        try {
            prepared->commit();
        } catch (...) {
            failure = std::current_exception();
            break;
        }
        unsigned worker = 0;
        {
            const std::lock_guard lock(mutex);
            committed = row + 1;
            rows[row].prepared = std::move(prepared);  // for its worker to close
            worker = rows[row].worker;
        }
        committedOne[worker].notify_one();
        freed.notify_all();
        report([&] { events.committed(row); });
    }
    {
        const std::lock_guard lock(mutex);
        stop = true;
    }
    freed.notify_all();
    for (std::condition_variable& one : committedOne) one.notify_all();
    for (std::thread& worker : workers) worker.join();
    rows.clear();  // every prepared row not committed takes its temporary files with it
    // Moved: the listener holds the only reference to the failure from here on.
    if (!cancelled)
        report([&] { events.finished(std::move(failure)); });
}

BatchRun::BatchRun(std::vector<std::filesystem::path> files, RunTexts texts, unsigned workers,
                   Events events)
    : shared_(std::make_unique<Shared>(std::move(files), std::move(texts), workers,
                                       std::move(events))) {
    for (unsigned i = 0; i < shared_->threadCount; ++i)
        shared_->workers.emplace_back([s = shared_.get(), i] { s->work(i); });
    committer_ = std::thread([s = shared_.get()] { s->commitAll(); });
}

BatchRun::~BatchRun() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
        shared_->cancelled = true;
    }
    shared_->ready.notify_all();
    shared_->freed.notify_all();
    for (std::condition_variable& one : shared_->committedOne) one.notify_all();
    committer_.join();
}

unsigned BatchRun::defaultWorkers() {
    return std::min(std::max(1u, std::thread::hardware_concurrency()) * kWorkersPerCore,
                    kMostWorkers);
}

namespace {

// Holds the hourglass, and with it the window's input, and leaves the arrow behind.
class BusyPointer {
public:
    explicit BusyPointer(platform::WindowPort& window) : window_(window) {
        window_.setPointer(platform::Pointer::Hourglass);
    }
    ~BusyPointer() {
        if (!released_)
            window_.setPointer(platform::Pointer::Arrow);
    }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    // Keeps the hourglass beyond this scope: the end of the run takes it away.
    void release() { released_ = true; }

private:
    platform::WindowPort& window_;
    bool released_ = false;
};

}  // namespace

std::unique_ptr<BatchRun> startReplace(queue::FileQueue& queue, platform::WindowPort& window,
                                       platform::MessageBoxes& boxes, platform::UiThread& ui) {
    BusyPointer busy(window);
    const std::size_t count = queue.count();
    if (count == 0) {
        boxes.show(kNoFiles, platform::Buttons::Ok);
        return nullptr;
    }
    std::vector<std::filesystem::path> files;
    files.reserve(count);
    for (std::size_t row = 1; row <= count; ++row) files.push_back(queue.path(row));
    RunTexts texts{window.findText(), window.replaceText(), window.backupChecked()};

    // The window takes no input during the run, so its rows stay where they are.
    BatchRun::Events events;
    events.committed = [&queue, &ui](std::size_t index) {
        ui.post([&queue, index] { queue.setStatus(index + 1, queue::kDone); });
    };
    events.finished = [&window, &boxes, &ui](std::exception_ptr failure) {
        ui.post([&window, &boxes, failure] {
            window.setPointer(platform::Pointer::Arrow);  // the arrow first, then the news
            if (!failure) {
                window.setTitle(std::string(platform::kTitle) + std::string(kDoneSuffix));
                return;
            }
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                boxes.show(platform::failureText(e), platform::Buttons::Ok);
            } catch (...) {
            }
        });
    };
    auto run = std::make_unique<BatchRun>(std::move(files), std::move(texts),
                                          BatchRun::defaultWorkers(), std::move(events));
    busy.release();
    return run;
}

}  // namespace qm::replace
