#include "queue/add_folder.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace qm::queue {

namespace {

unsigned char foldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// The listing order: the same on every machine whatever the file system keeps,
// and close to what a file manager shows. ASCII letters are folded; names
// that differ only in case are ordered by their bytes.
bool listingLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = foldAscii(a[i]);
        const unsigned char cb = foldAscii(b[i]);
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool isHidden(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

// True when name contains ".htm", ".html" or ".txt" anywhere, case-sensitively.
bool looksLikeText(std::string_view name) {
    // ".html" contains ".htm", so two searches cover the three texts.
    return name.find(".htm") != std::string_view::npos ||
           name.find(".txt") != std::string_view::npos;
}

}  // namespace

NameArray::NameArray() : slots_(100) {}

void NameArray::add(std::string name) {
    if (count_ == std::numeric_limits<std::int32_t>::max()) {
        throw std::length_error("too many names in one folder");
    }
    ++count_;
    if (count_ > upper_) {
        upper_ = count_ > std::numeric_limits<std::int32_t>::max() - 50
                     ? std::numeric_limits<std::int32_t>::max()
                     : upper_ + 50;
        // The storage itself grows geometrically underneath, so a folder of
        // many thousand names is not copied once per fifty.
        slots_.resize(static_cast<std::size_t>(upper_));
    }
    slots_[static_cast<std::size_t>(count_ - 1)] = std::move(name);
}

void NameArray::finish() {
    if (count_ == 0) {
        lower_ = 0;
        upper_ = 0;
        slots_.assign(1, std::string());
    } else if (count_ < upper_) {
        upper_ = count_;
        slots_.resize(static_cast<std::size_t>(count_));
        slots_.shrink_to_fit();
    }
}

const std::string& NameArray::operator[](std::int32_t position) const {
    if (position < lower_ || position > upper_) {
        throw std::out_of_range("no name at position " + std::to_string(position));
    }
    return slots_[static_cast<std::size_t>(position - lower_)];
}

std::filesystem::path BrowseForFolder(platform::FileDialogs& dialogs, std::string_view prompt) {
    return dialogs.browseForFolder(prompt);
}

namespace {

// Every file of a folder's listing, in listing order.
NameArray fileNames(std::vector<files::DirEntry> entries) {
    std::vector<std::string> names;
    for (auto& entry : entries) {
        if (entry.kind == files::EntryKind::File) {
            names.push_back(std::move(entry.name));
        }
    }
    std::sort(names.begin(), names.end(), listingLess);
    NameArray array;
    for (auto& name : names) array.add(std::move(name));
    array.finish();
    return array;
}

}  // namespace

void CollectSubfolders(std::vector<std::filesystem::path>& folders, bool recurse,
                       files::DirListing& listing, FilesSeen& seen) {
    // The list itself is the breadth-first queue: each folder's children go
    // to the end, so every level follows the one above it, and a deep tree
    // needs no deep recursion.
    const std::size_t given = folders.size();
    std::vector<std::string> children;
    for (std::size_t i = 0; i < folders.size() && (recurse || i < given); ++i) {
        const std::string parent = withSeparator(folders[i].native());
        children.clear();
        std::vector<files::DirEntry> files;
        for (auto& entry : listing.list(parent)) {
            if (entry.kind == files::EntryKind::Folder) {
                if (!isHidden(entry.name))
                    children.push_back(std::move(entry.name));
            } else if (entry.kind == files::EntryKind::File) {
                files.push_back(std::move(entry));
            }
        }
        seen.resize(folders.size());
        seen[i] = std::move(files);
        std::sort(children.begin(), children.end(), listingLess);
        for (const auto& child : children) folders.emplace_back(parent + child + '/');
    }
}

NameArray ListFolderFiles(const std::filesystem::path& folder, files::DirListing& listing) {
    return fileNames(listing.list(withSeparator(folder.native())));
}

void importFolder(FileQueue& queue, platform::FileDialogs& dialogs, platform::MessageBoxes& boxes,
                  files::DirListing& listing) {
    const std::filesystem::path chosen = BrowseForFolder(dialogs, kFolderPrompt);
    if (!chosen.empty())
        importFolderTree(queue, chosen, boxes, listing);
}

bool importFolderTree(FileQueue& queue, const std::filesystem::path& folder,
                      platform::MessageBoxes& boxes, files::DirListing& listing) {
    // A root folder already ends in its separator; it is not doubled.
    std::vector<std::filesystem::path> folders{withSeparator(folder.native())};
    // Reading a folder costs about as much as the whole rest of the import,
    // so the files seen while the tree is walked are used for the file pass.
    // They are forgotten at the first question: the tree may change while the
    // user thinks, and every later folder is then read afresh.
    FilesSeen seen;
    CollectSubfolders(folders, true, listing, seen);
    bool readAfresh = false;

    // Rows go to the list one folder at a time: one insertion per row would
    // make a large import crawl. Pending rows are shown before each question,
    // so the user sees the queue as it stands, in order.
    std::vector<platform::QueueEntry> pending;
    const auto flush = [&] {
        queue.append(std::move(pending));
        pending.clear();
    };
    for (std::size_t k = 0; k < folders.size(); ++k) {
        const std::string& f = folders[k].native();
        const NameArray names =
            readAfresh ? ListFolderFiles(folders[k], listing) : fileNames(std::move(seen[k]));
        for (std::int32_t i = 1; i <= names.upper(); ++i) {
            const std::string& name = names[i];
            // Leftovers of editors and of our own rewrites, and our own backups: a later run
            // would rewrite the old content they keep.
            if (name.front() == '~' || name.ends_with(kBackupSuffix))
                continue;
            if (!looksLikeText(name)) {
                flush();
                readAfresh = true;
                seen = {};
                const auto answer = boxes.show(name + std::string(kNotTextQuestion),
                                               platform::Buttons::YesNoCancel);
                if (answer == platform::Answer::Cancel)
                    return false;
                if (answer != platform::Answer::Yes)
                    continue;
            }
            pending.push_back({std::filesystem::path(f + name), {}});
        }
        flush();
    }
    return true;
}

void addGiven(FileQueue& queue, const std::vector<std::filesystem::path>& given,
              platform::MessageBoxes& boxes, files::DirListing& listing) {
    // Files go to the list together, up to the next folder, so that rows stay in the order given.
    std::vector<platform::QueueEntry> files;
    for (const std::filesystem::path& path : given) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            files.push_back({path, kQueued});
            continue;
        }
        queue.append(std::move(files));
        files.clear();
        if (!importFolderTree(queue, path, boxes, listing))
            return;
    }
    queue.append(std::move(files));
}

}  // namespace qm::queue
