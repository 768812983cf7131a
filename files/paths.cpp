// Resolving a path one name at a time, through descriptors.
//
// Which links are followed: a run started by root over folders that other users can write must
// not be led elsewhere by a symbolic link one of them planted ("page.htm -> /etc/shadow" would
// have the run rewrite a file its planter could never touch). So a link, the final one or one
// among the path's folders, is followed only when it belongs to the user running the program, to
// root, or to the owner of what it points to: it is the user's own, or it leads nowhere its owner
// could not go already (root's links lead nowhere an attacker chose). It is close to the kernel's
// rule for links in sticky folders (which asks for the folder's owner where this asks for the
// target's), applied to every folder. Links the user made work as before.
//
// Why descriptors: a check by name and a later use of the same name leave a gap in which a
// folder can be swapped for a link. Here every name is opened without following it (O_NOFOLLOW,
// O_PATH) in the descriptor of the folder before it, a link is read from the descriptor of the
// link itself, and the result is the folder's descriptor: the file is then opened, created
// beside and renamed over through it, so whatever happens to the names above it later, the
// folder written is the folder checked. A stretch of the path without a link takes one openat2()
// with RESOLVE_NO_SYMLINKS where the kernel has it, instead of two calls per name.
#include "files/paths.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <span>
#include <string_view>
#include <vector>

#include "files/file_error.h"

namespace qm::files {

namespace fs = std::filesystem;

namespace {

constexpr int kMostLinks = 40;  // as many as the kernel follows in one path

class Resolver {
public:
    Resolver(const fs::path& shown, const char* reason) : shown_(shown), reason_(reason) {}

    // Resolves text from the folder from (absolute text from "/").
    Place walk(int from, std::string_view text, bool followFinal) {
        std::vector<std::string> names;
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t end = std::min(text.find('/', at), text.size());
            const std::string_view name = text.substr(at, end - at);
            if (!name.empty() && name != ".")
                names.emplace_back(name);
            at = end + 1;
        }
        // The last name is the one to stand at; a path ending in "/" or ".." names a folder.
        std::string last = ".";
        if (!names.empty() && !text.ends_with('/') && names.back() != "..") {
            last = std::move(names.back());
            names.pop_back();
        }
        const bool absolute = text.starts_with('/');
        Place place{folderOf(from, absolute, names), std::move(last), std::nullopt};
        struct stat st {};
        if (::fstatat(place.folder.get(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            place.status = st;
        else if (errno != ENOENT)
            fail(errno);
        if (followFinal && place.status && S_ISLNK(st.st_mode)) {
            const Fd link = openName(place.folder.get(), place.name);
            return follow(place.folder.get(), link);
        }
        return place;
    }

    // Where the link (opened in folder) leads, if it may be followed.
    Place follow(int folder, const Fd& link) {
        if (++links_ > kMostLinks)
            fail(ELOOP);
        // Owner and text are read from the link's own descriptor, so they belong together.
        struct stat linkStatus {};
        std::string text(PATH_MAX, '\0');
        const ssize_t length = ::readlinkat(link.get(), "", text.data(), text.size());
        if (length < 0 || ::fstat(link.get(), &linkStatus) != 0)
            fail(errno);
        text.resize(static_cast<std::size_t>(length));
        Place target = walk(folder, text, true);
        if (!target.status)
            fail(ENOENT);
        const uid_t owner = linkStatus.st_uid;
        if (owner != ::geteuid() && owner != 0 && owner != target.status->st_uid)
            failWith("symbolic link not followed: it belongs to another user", shown_, EPERM);
        return target;
    }

    Fd openName(int folder, const std::string& name) const {
        Fd fd(::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0)
            fail(errno);
        return fd;
    }

private:
    [[noreturn]] void fail(int error) const { failWith(reason_, shown_, error); }

    // The folder the names lead to from the folder from (or "/"): in one openat2() while no link
    // is on the way, else one name at a time up to the first link, and so on after it.
    Fd folderOf(int from, bool absolute, std::span<const std::string> names) {
        Fd folder = withoutLinks(from, absolute, names);
        if (folder.get() >= 0)
            return folder;
        folder = openName(from, absolute ? "/" : ".");
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (enter(folder, names[i]))
                return folderOf(folder.get(), false, names.subspan(i + 1));
        }
        return folder;
    }

    // The folder the names lead to, in one call, when none of them is a link; else no descriptor.
    static Fd withoutLinks(int from, bool absolute, std::span<const std::string> names) {
        std::string text = absolute ? "/" : (names.empty() ? "." : "");
        for (const std::string& name : names) text += name + '/';
        open_how how{};
        how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_NO_SYMLINKS;
        // Any failure (no such call, a link on the way, no such folder) takes the slow road,
        // which reports what is wrong.
        const long fd = ::syscall(SYS_openat2, from, text.c_str(), &how, sizeof how);
        return Fd(fd < 0 ? -1 : static_cast<int>(fd));
    }

    // Steps from folder into its folder name, through a link that may be followed; true if it
    // followed one.
    bool enter(Fd& folder, const std::string& name) {
        Fd next = openName(folder.get(), name);
        struct stat st {};
        if (::fstat(next.get(), &st) != 0)
            fail(errno);
        const bool link = S_ISLNK(st.st_mode);
        if (link) {
            const Place target = follow(folder.get(), next);
            next = openName(target.folder.get(), target.name);
            // What was checked is what is entered, even if the name changed hands meanwhile.
            if (::fstat(next.get(), &st) != 0 || !sameFile(st, *target.status))
                fail(ECANCELED);
        }
        if (!S_ISDIR(st.st_mode))
            fail(ENOTDIR);
        folder = std::move(next);
        return link;
    }

    const fs::path& shown_;
    const char* reason_;
    int links_ = 0;
};

}  // namespace

Place resolve(const fs::path& path, const char* reason) {
    return Resolver(path, reason).walk(AT_FDCWD, path.native(), false);
}

Place resolveLink(const Place& link, const fs::path& shown, const char* reason) {
    Resolver resolver(shown, reason);
    return resolver.follow(link.folder.get(), resolver.openName(link.folder.get(), link.name));
}

}  // namespace qm::files
