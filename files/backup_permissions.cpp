// A backup is never readable by someone who could not read its file.
//
// A backup is a new file, and a new file takes its group from its folder when the folder is
// set-group-ID, and ACL entries from the folder's default ACL: in a folder another user owns,
// that user would choose who reads the copy. So, before any content is written, the backup
// takes its source's owner and group, and its source's ACL exactly (none if the source has
// none), which replaces whatever the folder gave.
//
// Where the process may not give the backup its source's group (only root may give a file
// away, and an owner only to a group of their own), the backup's group is some other group:
// its group permissions drop to nothing, and "other" keeps only what the source's group had,
// because the members of the source's group count as "other" on the backup. Where the owner
// cannot be given, the backup belongs to the user running the program, who could read and
// write the source. Set-ID bits never go to a backup; its owner may always write it, so that a
// later run can replace it.
//
// A backup made through a link lies beside the link, perhaps far from its source: then the
// folders on the way to the source may have kept out whom its permissions let in, and the
// backup keeps only its owner's permissions.
#include "files/backup_permissions.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "files/attributes.h"
#include "files/file_error.h"

namespace qm::files {

namespace fs = std::filesystem;

namespace {

// An ACL as the kernel keeps it in its extended attribute: a version (2), then entries of tag,
// permissions and id, little-endian, 4 + 8 bytes each.
enum Tag : std::uint16_t { kOwner = 0x01, kOwningGroup = 0x04, kMask = 0x10, kOther = 0x20 };
constexpr std::size_t kHeaderSize = 4, kEntrySize = 8;

class Acl {
public:
    // The ACL a file without one has: its permission bits.
    explicit Acl(mode_t mode)
        : bytes_(std::string("\2\0\0\0", 4) + entry(kOwner, mode >> 6) +
                 entry(kOwningGroup, mode >> 3) + entry(kOther, mode)) {}
    // The ACL as stored.
    explicit Acl(std::string bytes) : bytes_(std::move(bytes)) {}

    // The permissions (rwx, 0-7) of the entry with tag, or 7 if there is none.
    unsigned get(Tag tag) const {
        const std::size_t at = find(tag);
        return at == std::string::npos ? 7 : static_cast<unsigned char>(bytes_[at + 2]) & 7;
    }
    void set(Tag tag, unsigned permissions) {
        const std::size_t at = find(tag);
        if (at != std::string::npos)
            bytes_[at + 2] = static_cast<char>(permissions & 7);
    }
    // Only owner, owning group and other: the permission bits say it all.
    bool plain() const { return bytes_.size() == kHeaderSize + 3 * kEntrySize; }
    // The permission bits alone: the owning group as far as the mask lets it (named users and
    // groups, whom the bits cannot name, lose their entries).
    mode_t bits() const {
        return get(kOwner) << 6 | (get(kOwningGroup) & get(kMask)) << 3 | get(kOther);
    }
    const std::string& bytes() const { return bytes_; }

private:
    static std::string entry(std::uint16_t tag, unsigned permissions) {
        // The id of an entry that names no one is unused (-1).
        return std::string{static_cast<char>(tag), '\0', static_cast<char>(permissions & 7), '\0'} +
               "\xff\xff\xff\xff";
    }
    std::size_t find(Tag tag) const {
        for (std::size_t at = kHeaderSize; at + kEntrySize <= bytes_.size(); at += kEntrySize) {
            if (static_cast<unsigned char>(bytes_[at]) == tag && bytes_[at + 1] == '\0')
                return at;
        }
        return std::string::npos;
    }

    std::string bytes_;
};

// Gives the backup the source's owner and group; false if the group could not be given.
bool takeOwnerAndGroup(int backup, const struct stat& source, const fs::path& shown) {
    if (::fchown(backup, source.st_uid, source.st_gid) == 0)
        return true;
    if (errno == EPERM && ::fchown(backup, static_cast<uid_t>(-1), source.st_gid) == 0)
        return true;
    if (errno != EPERM)
        failWith("cannot set the owner", shown, errno);
    return false;
}

}  // namespace

void protectBackup(int backup, int source, const struct stat& sourceStatus, bool besideSource,
                   const fs::path& shown) {
    const bool groupTaken = takeOwnerAndGroup(backup, sourceStatus, shown);
    const std::optional<std::string> sourceAcl = attribute(source, kAccessAcl, shown);
    Acl acl = sourceAcl ? Acl(*sourceAcl) : Acl(sourceStatus.st_mode);
    acl.set(kOwner, acl.get(kOwner) | 2);
    if (!besideSource) {
        acl = Acl(static_cast<mode_t>(acl.get(kOwner) << 6));
    } else if (!groupTaken) {
        acl.set(kOther, acl.get(kOther) & acl.get(kOwningGroup) & acl.get(kMask));
        acl.set(kOwningGroup, 0);
    }
    // Setting an ACL sets the permission bits from it. A plain one is the permission bits alone,
    // and so is any ACL where the file system keeps none: the folder's inherited ACL goes.
    if (!acl.plain() &&
        ::fsetxattr(backup, kAccessAcl, acl.bytes().data(), acl.bytes().size(), 0) == 0)
        return;
    if (!acl.plain() && !notSupported(errno))
        failWith("cannot set permissions", shown, errno);
    if (::fremovexattr(backup, kAccessAcl) != 0 && errno != ENODATA && !notSupported(errno))
        failWith("cannot set permissions", shown, errno);
    if (::fchmod(backup, acl.bits()) != 0)
        failWith("cannot set permissions", shown, errno);
}

}  // namespace qm::files
