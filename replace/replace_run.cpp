#include "replace/replace_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "files/file_error.h"
#include "replace/group_flush.h"
#include "replace/replace_text.h"

namespace qm::replace {

namespace {

namespace fs = std::filesystem;

// File contents held in memory by the rows in flight, at most; a larger file waits until it
// can be alone.
constexpr std::uint64_t kMemoryBudget = std::uint64_t{32} << 20;
// Each worker holds one row in flight, and each flush of the file system takes every row
// written before it: many more rows in flight than cores pays (measured on two cores: 64 per
// core beat 32, 16 and 8). A row holds up to five descriptors (the file, its folder and a final
// link's, two temporary files), so the count stays under the usual limit of 1024 open files.
constexpr unsigned kWorkersPerCore = 64;
constexpr unsigned kMostWorkers = 128;
// Renamed rows are shown "Done" once their renames are on disk; they wait at most this long,
// or for this many others, when nothing else flushes them sooner.
constexpr auto kMostUnreportedTime = std::chrono::milliseconds(200);
constexpr std::size_t kMostUnreported = 256;
// Resolved folders kept while rows are claimed: a queue spread over many more folders than this
// starts afresh rather than keeping them all.
constexpr std::size_t kMostFoldersKept = 4096;

// A failure that running ahead can cause, not the row itself: it is tried again alone.
bool lackOfResources(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (const std::system_error& e) {
        const int error = e.code().value();
        return (e.code().category() == std::generic_category() ||
                e.code().category() == std::system_category()) &&
               (error == ENOSPC || error == EDQUOT || error == EMFILE || error == ENFILE ||
                error == ENOMEM || error == EAGAIN);
    } catch (...) {
        return false;
    }
}

// One row read, replaced and written beside its file, waiting to be made durable and committed.
struct Prepared {
    Prepared(const fs::path& path, const RunTexts& texts)
        : rewrite(path, texts.find, texts.replacement, files::Durability::Deferred) {
        if (texts.backup) {
            backup.emplace(files::PendingWrite::backup(
                rewrite.file(), rewrite.content(), backupPath(path), files::Durability::Deferred));
        }
    }
    // Its prepared files: the backup's first, as it is committed first.
    std::vector<files::PendingWrite*> writes() {
        std::vector<files::PendingWrite*> all;
        if (backup)
            all.push_back(&*backup);
        all.push_back(&rewrite.write());
        return all;
    }
    // The backup takes its name first, then the new content the file's; each goes only if the
    // file is still the one that was read, checked right before.
    void commit() {
        if (backup) {
            rewrite.file().checkUnchanged();
            backup->commit();
        }
        rewrite.commit();
    }

    ReplaceInFile rewrite;
    std::optional<files::PendingWrite> backup;
};

// What a row may touch, as hashes: a collision only makes a row wait.
struct Identity {
    bool known = false;                // false: it could touch anything, and waits for every row
    std::uint64_t bytes = 0;           // the file's size
    std::vector<std::size_t> touches;  // names its commit replaces, and inodes it writes
    std::vector<std::size_t> passes;   // folders its path goes through
};

std::size_t keyOf(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

std::size_t keyOf(const struct stat& st) {
    return std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(st.st_ino) * 0x9E3779B97F4A7C15u ^
                                      static_cast<std::uint64_t>(st.st_dev));
}

// Rows renamed whose renames are not yet known to be on disk, by folder.
struct Unreported {
    std::vector<std::size_t> rows;
    std::map<std::string, std::uint64_t> folders;  // folder -> its last rename's ticket
    std::chrono::steady_clock::time_point since;
};

}  // namespace

void PathList::add(const fs::path& path) {
    const std::string_view bytes = path.native();
    const std::size_t cut = bytes.rfind('/') + 1;  // 0 without a separator
    if (folders_.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many folders in one run");
    const auto [folder, added] = folderIndex_.try_emplace(
        std::string(bytes.substr(0, cut)), static_cast<std::uint32_t>(folders_.size()));
    if (added)
        folders_.push_back(&folder->first);
    names_ += bytes.substr(cut);
    rows_.push_back({names_.size(), folder->second});
}

fs::path PathList::operator[](std::size_t index) const {
    const Row& row = rows_[index];
    const std::size_t nameBegin = index == 0 ? 0 : rows_[index - 1].nameEnd;
    std::string bytes = *folders_[row.folder];
    bytes.append(names_, nameBegin, row.nameEnd - nameBegin);
    return fs::path(std::move(bytes));
}

std::filesystem::path backupPath(const std::filesystem::path& file) {
    // Appended to the native bytes, so a name that is not valid UTF-8 keeps them.
    std::string bytes = file.native();
    bytes += kBackupSuffix;
    return std::filesystem::path(std::move(bytes));
}

// Workers claim rows in order, one at a time, within the memory limit and the
// look-ahead; a claimed row waits until the rows before it that touch its file
// are committed, is prepared, and waits for the committer; once it is in place
// its worker closes it. The committer flushes each row's files, commits it,
// and reports renamed rows once their renames are on disk. Everything below
// `mutex` is read and written under it.
struct BatchRun::Shared {
    struct Row {
        std::uint64_t bytes = 0;
        std::size_t waitUntil = 0;           // rows that must be committed before it is prepared
        std::vector<std::size_t> keys;       // what it registered in `toucher`
        std::unique_ptr<Prepared> prepared;  // prepared; back from the committer once in place
        std::uint64_t ticket = 0;            // its files' place in the group flush; 0: flushed
        std::exception_ptr failure;
        unsigned worker = 0;  // the one that prepared it, and closes it once it is in place
    };

    Shared(PathList f, RunTexts t, unsigned workers, Events e)
        : files(std::move(f)), texts(std::move(t)), events(std::move(e)) {
        // With backups every row writes two temporary files; a short queue needs fewer workers.
        threadCount = std::max(1u, workers / (texts.backup ? 2 : 1));
        threadCount = static_cast<unsigned>(std::clamp<std::size_t>(files.size(), 1, threadCount));
        committedOne = std::vector<std::condition_variable>(threadCount);
        ahead = threadCount;
    }

    void work(unsigned me);
    void prepareAndClose(std::size_t row, unsigned me);
    void letGo(std::unique_lock<std::mutex>& lock, std::unique_ptr<Prepared> prepared);
    void close(std::unique_lock<std::mutex>& lock, std::size_t row);
    Identity identify(const fs::path& path);
    void claimed(std::size_t row, Identity identity, unsigned me);
    bool heldBack(std::size_t row) const { return drainAt && row > *drainAt; }

    void commitAll();
    bool commitRow(std::size_t row, Unreported& unreported, std::exception_ptr& failure);
    bool commitAlone(std::size_t row, Unreported& unreported, std::exception_ptr& failure);
    void makeDurable(Prepared& prepared, std::uint64_t ticket);
    void renamed(std::size_t row, Prepared& prepared, Unreported& unreported);
    void settle(Unreported& unreported);
    void stopAll();
    // Passes news on; nothing may escape a thread, and a run goes on without its news.
    static void report(const std::function<void()>& news) noexcept {
        try {
            news();
        } catch (...) {
        }
    }

    const PathList files;
    const RunTexts texts;
    const Events events;
    GroupFlush group;  // the rows' new content, then their renames, reach the disk in groups
    unsigned threadCount = 1;
    std::vector<std::thread> workers;  // those that could be started; none: the committer works

    std::mutex claiming;  // held while a row is claimed: rows take their limits in order
    std::map<std::string, std::string> folders;  // resolved folders, while claiming
    std::mutex mutex;                            // guards everything below
    std::condition_variable ready;  // for the committer: a row is prepared or failed, or let go
    std::condition_variable freed;  // for workers: a row is committed or closed, or the run stops
    std::vector<std::condition_variable> committedOne;     // per worker: its row is in place
    std::map<std::size_t, Row> rows;                       // claimed and not yet closed
    std::unordered_map<std::size_t, std::size_t> toucher;  // key -> the last row that touches it
    std::optional<std::size_t> lastUnknown;                // the last row that could touch anything
    std::size_t nextToClaim = 0;
    std::size_t committed = 0;  // rows before this one are in place
    std::uint64_t bytesInFlight = 0;
    unsigned ahead = 1;    // rows prepared ahead of the committed ones, at most
    unsigned holding = 0;  // preparations alive: their files open, their temporaries made
    std::optional<std::size_t> drainAt;  // prepared again alone: later rows let go and wait
    std::optional<std::size_t> lostRow;  // a row that could not even be claimed
    std::exception_ptr lostFailure;
    bool started = false;       // every worker that could be started has been
    bool noMoreClaims = false;  // a row failed: no later row will be committed
    bool stop = false;
    bool cancelled = false;
};

Identity BatchRun::Shared::identify(const fs::path& path) {
    Identity id;
    struct stat st {};
    std::error_code error;
    if (::lstat(path.c_str(), &st) != 0)
        return id;
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(path.c_str(), &st) != 0)
        return id;
    const fs::path folder = path.parent_path();
    auto resolved = folders.find(folder.native());
    if (resolved == folders.end()) {
        if (folders.size() >= kMostFoldersKept)
            folders.clear();
        const auto real = fs::canonical(folder.empty() ? "." : folder, error);
        if (error)
            return id;
        resolved = folders.emplace(folder.native(), real.native()).first;
    }
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    if (error)
        return id;
    // The names its commit replaces, as given and with their folders resolved; a final link's
    // target; the backup's names, which the row creates if they do not exist yet.
    const std::string name = resolved->second + '/' + path.filename().native();
    std::vector<std::string> names{absolute.native(), name};
    if (link) {
        const auto target = fs::canonical(path, error);
        if (error)
            return id;
        names.push_back(target.native());
    }
    if (texts.backup) {
        names.push_back(absolute.native() + std::string(kBackupSuffix));
        names.push_back(name + std::string(kBackupSuffix));
        // A backup written in place lands in whatever file has the name now.
        struct stat backup {};
        if (::lstat(names.back().c_str(), &backup) == 0 && S_ISREG(backup.st_mode))
            id.touches.push_back(keyOf(backup));
    }
    for (const std::string& each : names) id.touches.push_back(keyOf(each));
    id.touches.push_back(keyOf(st));
    // Folders on the way, which an earlier row could replace (a backup's name that is a link to
    // a folder, say): every part of the path before a separator.
    for (const std::string_view each :
         {std::string_view(absolute.native()), std::string_view(name)}) {
        for (std::size_t slash = each.rfind('/'); slash != 0 && slash != each.npos;
             slash = each.rfind('/', slash - 1))
            id.passes.push_back(keyOf(each.substr(0, slash)));
    }
    id.bytes = static_cast<std::uint64_t>(st.st_size);
    id.known = true;
    return id;
}

void BatchRun::Shared::claimed(std::size_t row, Identity identity, unsigned me) {
    // Waits for the last earlier uncommitted row that touches what it touches or passes through,
    // and for every earlier row when it or such a row could touch anything.
    std::size_t after = identity.known ? 0 : row;
    if (lastUnknown && *lastUnknown >= committed)
        after = std::max(after, *lastUnknown + 1);
    for (const auto* keys : {&identity.touches, &identity.passes}) {
        for (const std::size_t key : *keys) {
            const auto found = toucher.find(key);
            if (found != toucher.end() && found->second >= committed)
                after = std::max(after, found->second + 1);
        }
    }
    Row& r = rows[row];
    r.bytes = identity.bytes;
    r.waitUntil = after;
    r.worker = me;
    for (const std::size_t key : identity.touches) toucher[key] = row;
    r.keys = std::move(identity.touches);
    if (!identity.known)
        lastUnknown = row;
    bytesInFlight += r.bytes;
}

void BatchRun::Shared::work(unsigned me) {
    for (;;) {
        std::size_t row = 0;
        {
            const std::lock_guard claim(claiming);
            {
                std::unique_lock lock(mutex);
                freed.wait(lock, [&] {
                    return stop || noMoreClaims || nextToClaim == files.size() ||
                           (!drainAt && nextToClaim < committed + ahead);
                });
                if (stop || noMoreClaims || nextToClaim == files.size())
                    return;
                row = nextToClaim++;
            }
            Identity identity;
            try {
                identity = identify(files[row]);
            } catch (...) {
                identity = {};  // unknown: it waits for every earlier row
            }
            std::unique_lock lock(mutex);
            freed.wait(lock, [&] {
                return stop || bytesInFlight == 0 ||
                       bytesInFlight + identity.bytes <= kMemoryBudget;
            });
            if (stop)
                return;
            try {
                claimed(row, std::move(identity), me);
            } catch (...) {
                // Not even room to note the row: the run ends there.
                rows.erase(row);
                lostRow = row;
                lostFailure = std::current_exception();
                noMoreClaims = true;
                ready.notify_one();
                return;
            }
        }
        prepareAndClose(row, me);
    }
}

void BatchRun::Shared::letGo(std::unique_lock<std::mutex>& lock,
                             std::unique_ptr<Prepared> prepared) {
    lock.unlock();
    prepared.reset();  // closes its files and removes its temporaries
    lock.lock();
    --holding;
    ready.notify_one();
}

void BatchRun::Shared::close(std::unique_lock<std::mutex>& lock, std::size_t row) {
    Row& r = rows.at(row);
    if (r.prepared)
        letGo(lock, std::move(r.prepared));
    bytesInFlight -= r.bytes;
    for (const std::size_t key : r.keys) {
        const auto found = toucher.find(key);
        if (found != toucher.end() && found->second == row)
            toucher.erase(found);
    }
    rows.erase(row);
    freed.notify_all();
}

void BatchRun::Shared::prepareAndClose(std::size_t row, unsigned me) {
    std::unique_lock lock(mutex);
    for (;;) {
        freed.wait(lock, [&] {
            return stop || (committed >= rows.at(row).waitUntil && row < committed + ahead &&
                            !heldBack(row));
        });
        if (stop)
            return;
        ++holding;
        lock.unlock();
        std::unique_ptr<Prepared> prepared;
        std::exception_ptr failure;
        std::uint64_t ticket = 0;
        try {
            prepared = std::make_unique<Prepared>(files[row], texts);
            if (group.perFile()) {
                for (files::PendingWrite* write : prepared->writes()) write->flush();
            } else {
                ticket = group.written();
            }
        } catch (...) {
            failure = std::current_exception();
            prepared.reset();
        }
        lock.lock();
        if (stop || heldBack(row)) {  // an earlier row is prepared again alone: this one waits
            letGo(lock, std::move(prepared));
            if (stop)
                return;
            continue;
        }
        Row& r = rows.at(row);
        if (failure) {
            --holding;
            r.failure = failure;
            // Short of resources: the committer prepares it again, alone; else the run ends here.
            noMoreClaims = noMoreClaims || !lackOfResources(failure);
            ready.notify_one();
            return;
        }
        r.prepared = std::move(prepared);
        r.ticket = ticket;
        ready.notify_one();
        committedOne[me].wait(lock, [&] { return stop || committed > row || heldBack(row); });
        if (committed > row) {
            // Closed by its worker: the last close of a replaced file frees its blocks, which
            // can wait on the disk, and the committer should not.
            close(lock, row);
            return;
        }
        letGo(lock, std::move(rows.at(row).prepared));
        if (stop)
            return;
    }
}

void BatchRun::Shared::makeDurable(Prepared& prepared, std::uint64_t ticket) {
    if (ticket == 0)
        return;  // its worker flushed it
    for (files::PendingWrite* write : prepared.writes()) {
        if (write->descriptor() < 0)
            continue;  // written in place, and flushed there
        if (group.perFile())
            write->flush();
        else
            group.through(ticket, write->descriptor(), write->folder());
    }
}

void BatchRun::Shared::renamed(std::size_t row, Prepared& prepared, Unreported& unreported) {
    if (unreported.rows.empty())
        unreported.since = std::chrono::steady_clock::now();
    const std::uint64_t ticket = group.written();
    for (files::PendingWrite* write : prepared.writes()) {
        const fs::path folder = write->folder();
        unreported.folders[folder.empty() ? "." : folder.native()] = ticket;
    }
    unreported.rows.push_back(row);
}

void BatchRun::Shared::settle(Unreported& unreported) {
    if (unreported.rows.empty())
        return;
    std::uint64_t inFlight = 0;
    {
        const std::lock_guard lock(mutex);
        inFlight = bytesInFlight;
    }
    group.reconsider(2 * inFlight);  // its own unwritten data: contents and backups in flight
    // A rename is durable once its folder is: flushed on its own, or with its file system.
    group.foldersThrough(unreported.folders);
    for (const std::size_t row : unreported.rows) {
        {
            const std::lock_guard lock(mutex);
            if (cancelled)
                break;  // a destroyed run says nothing more
        }
        report([&] { events.committed(row); });
    }
    unreported = {};
}

bool BatchRun::Shared::commitAlone(std::size_t row, Unreported& unreported,
                                   std::exception_ptr& failure) {
    {
        std::unique_lock lock(mutex);
        // Every other row lets go of what it holds, and fewer rows go ahead from now on.
        drainAt = row;
        ahead = std::max(1u, std::min<unsigned>(ahead, static_cast<unsigned>(rows.size())) / 2);
        freed.notify_all();
        for (std::condition_variable& one : committedOne) one.notify_all();
        ready.wait(lock, [&] { return stop || holding == 0; });
        if (stop)
            return false;
    }
    try {
        Prepared prepared(files[row], texts);
        for (files::PendingWrite* write : prepared.writes()) write->flush();
        prepared.commit();
        renamed(row, prepared, unreported);
    } catch (...) {
        failure = std::current_exception();
    }
    std::unique_lock lock(mutex);
    drainAt.reset();
    if (rows.count(row) != 0)
        close(lock, row);
    if (!failure)
        committed = row + 1;
    freed.notify_all();
    return !failure;
}

bool BatchRun::Shared::commitRow(std::size_t row, Unreported& unreported,
                                 std::exception_ptr& failure) {
    if (workers.empty())
        return commitAlone(row, unreported, failure);
    std::unique_ptr<Prepared> prepared;
    std::uint64_t ticket = 0;
    {
        std::unique_lock lock(mutex);
        const auto isReady = [&] {
            const auto found = rows.find(row);
            return stop || lostRow == row ||
                   (found != rows.end() && (found->second.prepared || found->second.failure));
        };
        // Renames are made durable and shown in groups: most often the flush of a later row's
        // files has covered them by then.
        for (;;) {
            if (!unreported.rows.empty() &&
                (unreported.rows.size() >= kMostUnreported ||
                 std::chrono::steady_clock::now() - unreported.since >= kMostUnreportedTime)) {
                lock.unlock();
                settle(unreported);
                lock.lock();
            } else if (isReady()) {
                break;
            } else if (unreported.rows.empty()) {
                ready.wait(lock, isReady);
            } else {
                ready.wait_until(lock, unreported.since + kMostUnreportedTime, isReady);
            }
        }
        if (stop)
            return false;
        if (lostRow == row) {
            failure = lostFailure;
            return false;
        }
        Row& r = rows.at(row);
        if (r.failure) {
            if (!lackOfResources(r.failure)) {
                failure = r.failure;
                return false;
            }
            r.failure = nullptr;
            lock.unlock();
            return commitAlone(row, unreported, failure);
        }
        prepared = std::move(r.prepared);
        ticket = r.ticket;
    }
    try {
        makeDurable(*prepared, ticket);
        prepared->commit();
    } catch (...) {
        failure = std::current_exception();
        std::unique_lock lock(mutex);
        letGo(lock, std::move(prepared));
        if (!lackOfResources(failure))
            return false;
        failure = nullptr;
        lock.unlock();
        return commitAlone(row, unreported, failure);
    }
    renamed(row, *prepared, unreported);
    unsigned worker = 0;
    {
        const std::lock_guard lock(mutex);
        committed = row + 1;
        rows.at(row).prepared = std::move(prepared);  // for its worker to close
        worker = rows.at(row).worker;
    }
    committedOne[worker].notify_one();
    freed.notify_all();
    return true;
}

void BatchRun::Shared::stopAll() {
    {
        const std::lock_guard lock(mutex);
        stop = true;
    }
    freed.notify_all();
    for (std::condition_variable& one : committedOne) one.notify_all();
    for (std::thread& worker : workers) worker.join();
    rows.clear();  // every prepared row not committed takes its temporary files with it
}

void BatchRun::Shared::commitAll() {
    {
        std::unique_lock lock(mutex);
        ready.wait(lock, [&] { return started; });
    }
    std::exception_ptr failure;
    Unreported unreported;
    try {
        for (std::size_t row = 0; row < files.size(); ++row) {
            if (!commitRow(row, unreported, failure))
                break;
        }
    } catch (...) {
        failure = std::current_exception();  // memory for the run's own bookkeeping
    }
    stopAll();
    // Before the end is told, everything the run did is on disk.
    try {
        settle(unreported);
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    bool wasCancelled = false;
    {
        const std::lock_guard lock(mutex);
        wasCancelled = cancelled;
    }
    // Moved: the listener holds the only reference to the failure from here on.
    if (!wasCancelled)
        report([&] { events.finished(std::move(failure)); });
}

BatchRun::BatchRun(PathList files, RunTexts texts, unsigned workers, Events events)
    : shared_(std::make_unique<Shared>(std::move(files), std::move(texts), workers,
                                       std::move(events))) {
    Shared& s = *shared_;
    // The committer first: without it there is no run, and nothing has started yet.
    committer_ = std::thread([&s] { s.commitAll(); });
    try {
        s.workers.reserve(s.threadCount);
        for (unsigned i = 0; i < s.threadCount; ++i) s.workers.emplace_back([&s, i] { s.work(i); });
    } catch (...) {
        // The run goes on with the threads that did start; with none, the committer works alone.
    }
    {
        const std::lock_guard lock(s.mutex);
        s.started = true;
    }
    s.ready.notify_all();
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
    PathList files;
    files.reserve(count);
    for (std::size_t row = 1; row <= count; ++row) files.add(queue.path(row));
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
                boxes.show(files::failureText(e), platform::Buttons::Ok);
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
