// Prepared content lives in "~quillmere-XXXXXX.tmp" in the destination's own folder until
// commit renames it over the destination (temp_file.h): a process killed at any instant leaves
// the old file or the new one. A rewrite's temporary file takes its file's owner before the
// content, its extended attributes and permission bits after it (copy_attributes.h); a backup's
// takes who may read it before its content (backup_permissions.h). Where a new file cannot stand
// in for the old one, nothing is created now and commit writes in place (in_place.cpp).
//
// Every file is reached through the descriptor of its folder, resolved once (paths.h): the
// temporary file is created, renamed and removed by name in that folder, never by path.
#include "files/pending_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "files/backup_permissions.h"
#include "files/copy_attributes.h"
#include "files/file_error.h"
#include "files/paths.h"
#include "files/write_access.h"
#include "files/write_state.h"

namespace qm::files {

namespace fs = std::filesystem;

PendingWrite::PendingWrite(std::unique_ptr<State> state) : state_(std::move(state)) {}
PendingWrite::PendingWrite(PendingWrite&&) noexcept = default;
PendingWrite& PendingWrite::operator=(PendingWrite&&) noexcept = default;
PendingWrite::~PendingWrite() = default;

PendingWrite PendingWrite::rewrite(const InputFile& file, std::string_view previous,
                                   Producer produce, Durability durability) {
    auto s = std::make_unique<State>();
    s->shown = file.path();
    s->folder = file.folder();
    s->name = file.name();
    s->source = &file;
    s->previous = previous;
    s->produce = std::move(produce);
    s->mode = file.status().st_mode & 07777;
    if (file.status().st_nlink == 1) {
        const int error = s->temp.create(s->folder);
        if (error != 0 && !refused(error))
            failWith("cannot create a temporary file beside the file", s->shown, error);
        // Owner first, while the file is empty: a change of owner clears set-ID bits and
        // capabilities, which come last.
        if (error == 0 && takeOwner(s->temp.fd.get(), file.status(), s->shown)) {
            writeAll(s->temp.fd.get(), s->produce, s->shown);
            copyExtendedAttributes(file.fd(), s->temp.fd.get(), s->shown);
            if (::fchmod(s->temp.fd.get(), s->mode) != 0)
                failWith("cannot set permissions", s->shown, errno);
            if (durability == Durability::Now)
                s->temp.flush(s->shown);
        } else {
            s->temp.drop();  // in place, at commit
        }
    }
    return PendingWrite(std::move(s));
}

PendingWrite PendingWrite::backup(const InputFile& source, std::string_view content,
                                  const fs::path& to, Durability durability) {
    auto s = std::make_unique<State>();
    s->shown = to;
    s->copyOf = &source;
    s->produce = [content](SliceSink& sink) { sink.put(content); };
    // In the folder resolved when the file was opened: the path is resolved once.
    s->folder = source.pathFolder();
    s->name = to.filename().native();
    s->besideItsFile = sameFile(s->folder, source.folder());
    struct stat existing {};  // mode 0: nothing there
    const bool exists = ::fstatat(s->folder, s->name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        failWith("cannot open the file", to, errno);
    if (S_ISDIR(existing.st_mode)) {
        failWith("a folder has the backup's name", to, EISDIR);
    } else if (S_ISLNK(existing.st_mode)) {
        // The name is the link: it is replaced by the backup, and what it points to is never
        // opened for writing.
        s->regularDestination = false;
    } else if (exists && !S_ISREG(existing.st_mode)) {
        failWith("the backup's name is taken by something that is not a file", to, ENOTSUP);
    } else if (const int error = exists ? writeAccess(s->folder, s->name, existing) : 0) {
        failWith("backup is read-only", to, error);
    }
    const int error = s->temp.create(s->folder);
    if (error == 0) {
        // Before the content: it is never readable by anyone its source kept out.
        protectBackup(s->temp.fd.get(), source.fd(), source.status(), s->besideItsFile, to);
        writeAll(s->temp.fd.get(), s->produce, to);
        if (durability == Durability::Now)
            s->temp.flush(to);
    } else if (!refused(error) || !exists || !s->regularDestination) {
        failWith("cannot create the backup", to, error);
    }
    // Otherwise the folder takes no new file, but the old backup is overwritten at commit.
    return PendingWrite(std::move(s));
}

int PendingWrite::descriptor() const {
    return state_->temp.fd.get();
}

void PendingWrite::flush() {
    if (state_->temp.fd.get() >= 0)
        state_->temp.flush(state_->shown);
}

fs::path PendingWrite::folder() const {
    return (state_->source ? state_->source->target() : state_->shown).parent_path();
}

void PendingWrite::commit() {
    State& s = *state_;
    if (!s.temp.name.empty()) {
        const int error = s.temp.renameOver(s.name, s.shown, s.source);
        if (error == 0)
            return;
        // A folder that lets us write the file but not replace it (a sticky folder, say).
        if (!refused(error) || !s.regularDestination)
            failWith("cannot replace the file", s.shown, error);
        s.temp.drop();
    }
    s.writeInPlace();
}

}  // namespace qm::files
