// A listing costs one readdir() per entry where the file system says what each entry is, and a
// stat only where it does not; a folder that cannot be searched lists as empty, since none of its
// files could be opened.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "files/dir_listing.h"
#include "files/fd.h"

namespace qm::files {

namespace {

// Closes the listing however list() is left.
struct DirCloser {
    DIR* dir;
    ~DirCloser() { ::closedir(dir); }
};

EntryKind kindOfMode(mode_t mode) {
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISREG(mode))
        return EntryKind::File;
    return EntryKind::Other;
}

// Asks the file system when the listing itself does not say what an entry is.
// Returns false when the entry vanished or cannot be read.
bool kindByStat(int dirFd, const char* name, EntryKind& kind) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISLNK(st.st_mode)) {
        kind = kindOfMode(st.st_mode);
        return true;
    }
    // A link counts only when it leads to a regular file; a link to a folder
    // is never followed (a loop would never end, and it may lead out of the tree).
    if (::fstatat(dirFd, name, &st, 0) != 0)
        return false;
    kind = S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
    return true;
}

}  // namespace

std::vector<DirEntry> PosixDirListing::list(const std::filesystem::path& folder) {
    std::vector<DirEntry> entries;
    Fd opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = opened.get() < 0 ? nullptr : ::fdopendir(opened.get());
    if (!dir)
        return entries;
    const int fd = opened.release();  // the listing owns it now
    DirCloser closer{dir};
    // Names in a folder that may be read but not searched lead nowhere: none
    // of its files could be opened, so the folder counts as unlistable.
    if (::faccessat(fd, ".", X_OK, AT_EACCESS) != 0)
        return entries;
    // d_type saves a stat per entry on file systems that fill it in, which is
    // what keeps a large import as quick as a plain walk of the tree.
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        EntryKind kind = EntryKind::Other;
        switch (e->d_type) {
            case DT_DIR:
                kind = EntryKind::Folder;
                break;
            case DT_REG:
                kind = EntryKind::File;
                break;
            case DT_LNK:
            case DT_UNKNOWN:
                if (!kindByStat(fd, name, kind))
                    continue;
                break;
            default:
                break;  // FIFOs, sockets and devices are never files to rewrite
        }
        entries.push_back({std::string(name), kind});
    }
    return entries;
}

}  // namespace qm::files
