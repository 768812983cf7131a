// The write path against the real file system: what a rewrite and a backup keep, what a
// failure leaves, and files changed or planted by someone else meanwhile.
#include "files/pending_write.h"

#include <gtest/gtest.h>

#include <sys/xattr.h>

#include "support/file_checks.h"

namespace qm::files {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readBytes;
using test::writeBytes;
using Make = std::function<void(const fs::path&)>;

constexpr uid_t kNobody = 65534;  // group 65534 is nobody's own
// cap_net_raw+ep, as setcap writes it.
const std::string kCapability("\1\0\0\2\0\x20\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);

struct stat statOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

std::string attributeOf(const fs::path& p, const char* name) {
    char value[64] = {};
    const ssize_t n = ::lgetxattr(p.c_str(), name, value, sizeof value);
    return n < 0 ? "" : std::string(value, static_cast<std::size_t>(n));
}

void rewrite(const fs::path& p, std::string content) {
    const InputFile file(p);
    const Bytes old = file.readAll();
    PendingWrite::rewrite(file, old.view(), [content](SliceSink& s) { s.put(content); }).commit();
}

// Everything but the content stays: owner, group, permission bits (set-ID bits included),
// extended attributes and capabilities (which only root may set). Files that a new file could
// not stand in for are rewritten in place, keeping their inode. As root, to give files to other
// users and to become nobody.
TEST(WritePath, rewrite_keepsEverythingButTheContent) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    constexpr uid_t n = kNobody;
    const struct {
        const char* name;
        uid_t user = 0;   // who rewrites
        uid_t owner = n;  // the file's; its folder is nobody's too, or else root's
        gid_t group = n;
        mode_t folder = 0755;
        mode_t mode = 02775;
        bool linked = false;  // the file has a second name
        bool inPlace = true;  // expected: it keeps its inode
    } cases[] = {
        {.name = "plain", .owner = 1234, .group = 5678, .mode = 0640, .inPlace = false},
        {.name = "set-user-ID", .owner = 1234, .group = 5678, .mode = 04755, .inPlace = false},
        {.name = "hard-linked set-group-ID", .owner = 1234, .group = 5678, .linked = true},
        {.name = "set-user-ID by its owner", .user = n, .mode = 04755, .inPlace = false},
        {.name = "linked set-group-ID by owner", .user = n, .linked = true},
        {.name = "group-writable", .user = n, .owner = 1234, .folder = 0775, .mode = 0664},
        {.name = "sticky folder", .user = n, .owner = 1234, .folder = 01777, .mode = 0664},
        {.name = "own file, another group", .user = n, .group = 5678, .mode = 0644},
        {.name = "folder not writable", .user = n, .folder = 0555, .mode = 0644},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir tmp;
        ::chmod(tmp.path().c_str(), 0755);
        const fs::path folder = tmp / "f", file = folder / "page.htm";
        fs::create_directory(folder);
        writeBytes(file, "old");
        if (c.linked)
            fs::create_hard_link(file, folder / "other.htm");
        // chmod after chown, which clears set-ID bits (and capabilities, set last).
        ASSERT_EQ(::chown(file.c_str(), c.owner, c.group) + ::chmod(file.c_str(), c.mode) +
                      ::setxattr(file.c_str(), "user.qm", "kept", 4, 0) +
                      ::chown(folder.c_str(), c.owner == kNobody ? kNobody : 0, kNobody) +
                      ::chmod(folder.c_str(), c.folder),
                  0);
        const std::string capability = c.user == 0 ? kCapability : "";
        if (!capability.empty())
            ::setxattr(file.c_str(), "security.capability", capability.data(), 20, 0);
        const ino_t inode = statOf(file).st_ino;

        EXPECT_EQ(test::failureAs(c.user, [&] { rewrite(file, "new"); }), "");
        const struct stat after = statOf(file);
        EXPECT_EQ(readBytes(file), "new");
        EXPECT_EQ(std::tuple(after.st_mode & 07777, after.st_uid, after.st_gid),
                  std::tuple(c.mode, c.owner, c.group));
        EXPECT_EQ(after.st_ino == inode, c.inPlace);
        EXPECT_EQ(attributeOf(file, "user.qm") + attributeOf(file, "security.capability"),
                  "kept" + capability);
        EXPECT_EQ(namesIn(folder).size(), c.linked ? 2u : 1u);  // no temporary left
    }
}

// Nothing changes when a rewrite fails, not the file, not its folder: under real limits on file
// size and memory, and for what is not a regular file (missing, read-only files and FIFOs are
// among the run's failing rows).
TEST(WritePath, rewriteFailures_reportTheSystemErrorAndChangeNothing) {
    const struct {
        const char* name;
        bool folder = false;          // a folder stands at the name
        std::size_t size = 0;         // else a file of this size
        bool linked = false;          // with a second name: rewritten in place
        std::size_t newSize = 10000;  // of the new content, beyond the limit
        const char* expect = "cannot write (File too large)";  // the limit hit part-way
    } cases[] = {
        {.name = "folder", .folder = true, .expect = "not a regular file (Is a directory)"},
        {.name = "part-way", .size = 3000},
        {.name = "in place, part-way", .size = 10000, .linked = true, .newSize = 9000},
        {.name = "in place, grown",
         .size = 3000,
         .linked = true,
         .expect = "not enough space (File too large)"},
        {.name = "too big to read",
         .size = 96u << 20,
         .expect = "not enough memory to read the file (Cannot allocate memory)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir tmp;
        if (c.folder)
            fs::create_directory(tmp / "it");
        else
            writeBytes(tmp / "it", std::string(c.size, 'x'));
        if (c.linked)
            fs::create_hard_link(tmp / "it", tmp / "link");
        const auto before = namesIn(tmp.path());
        const std::string old = c.folder ? "" : readBytes(tmp / "it");
        EXPECT_EQ(test::failureAs(
                      ::geteuid(), [&] { rewrite(tmp / "it", std::string(c.newSize, 'y')); }, true),
                  c.expect);
        EXPECT_EQ(namesIn(tmp.path()), before);  // nothing created, no temporary left
        EXPECT_TRUE(c.folder || readBytes(tmp / "it") == old);
    }
}

// Rewrites page to "new" after backing it up, as a run's row does; meanwhile runs between the
// preparation and the commit.
void replaceWithBackup(
    const fs::path& page, const std::function<void()>& meanwhile = [] {}) {
    const InputFile file(page);
    const Bytes old = file.readAll();
    PendingWrite backup = PendingWrite::backup(file, old.view(), page.native() + " BACKUP.htm");
    PendingWrite pending =
        PendingWrite::rewrite(file, old.view(), [](SliceSink& s) { s.put("new"); });
    meanwhile();
    backup.commit();
    pending.commit();
}

void asNobody(const std::function<void()>& act) {
    ASSERT_EQ(test::runAs(kNobody, [&] { return act(), 0; }), 0);
}

// A file written to, replaced or removed by someone else between the read and the commit
// keeps what the other writer left, and the commit fails with a clear reason.
TEST(WritePath, fileChangedBeforeCommit_keepsTheOtherWritersContent) {
    const struct {
        const char* name;
        Make change;
        const char* theirs;  // what the file holds then
    } changes[] = {
        {.name = "appended",
         .change = [](auto& f) { writeBytes(f, readBytes(f) + " appended"); },
         .theirs = "old appended"},
        {.name = "same size, a nanosecond later",
         .change =
             [](auto& f) {
                 const auto read = fs::last_write_time(f);
                 writeBytes(f, "OLD");
                 fs::last_write_time(f, read + std::chrono::nanoseconds(1));
             },
         .theirs = "OLD"},
        {.name = "replaced",
         .change =
             [](auto& f) { writeBytes(f.string() + "~", "x"), fs::rename(f.string() + "~", f); },
         .theirs = "x"},
        {.name = "removed", .change = [](auto& f) { fs::remove(f); }, .theirs = "(none)"},
    };
    for (const auto& c : changes) {
        for (const bool linked : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (linked ? ", in place" : ""));
            const test::TempDir tmp;
            const fs::path file = tmp / "page.htm";
            writeBytes(file, "old");
            if (linked)
                fs::create_hard_link(file, tmp / "link.htm");
            EXPECT_EQ(test::failureAs(::geteuid(),
                                      [&] { replaceWithBackup(file, [&] { c.change(file); }); }),
                      "file changed while it was being rewritten (Operation canceled)");
            EXPECT_EQ(fs::exists(file) ? readBytes(file) : "(none)", c.theirs);
            namesIn(tmp.path());  // no temporary left
        }
    }
}

// A file that shrinks between its opening and its reading fails at once, rather than waiting for
// the bytes it no longer has.
TEST(WritePath, fileShrunkBeforeItIsRead_failsAtOnce) {
    const test::TempDir tmp;
    writeBytes(tmp / "f", "old");
    const InputFile input(tmp / "f");
    fs::resize_file(tmp / "f", 1);
    EXPECT_EQ(test::failureAs(::geteuid(), [&] { input.readAll(); }),
              "file changed while it was read (Operation canceled)");
}

// What another user (nobody) plants in "site", a folder of theirs, never leads a run by root
// into root's files: a link, final or among the folders, is followed only when it belongs to the
// user who runs, to root, or to the owner of what it points to; a folder swapped for a link after
// the preparation leads nowhere. "mine" is root's link to root's file.
TEST(WritePath, plantedLinks_neverLeadARunElsewhere) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to plant as another user";
    const std::string refused =
        "symbolic link not followed: it belongs to another user (Operation not permitted)";
    const struct {
        const char* name;
        const char* path;          // the row, below site
        const char* to = "";       // the target of nobody's link at the path's first name
        bool swap = false;         // nobody moves site/in away and links it to hidden
        const char* changed = "";  // the file that holds the new content
        std::string expect = "";
    } cases[] = {
        {.name = "to root's file", .path = "a", .to = "../hidden/root", .expect = refused},
        {.name = "to root's folder", .path = "d/root", .to = "../hidden", .expect = refused},
        {.name = "to root's link", .path = "a", .to = "mine", .expect = refused},
        {.name = "to its owner's file", .path = "a", .to = "../own", .changed = "own"},
        {.name = "root's link", .path = "mine", .changed = "hidden/root"},
        {.name = "swapped", .path = "in/one", .swap = true, .changed = "site/moved/one"},
        {.name = "swapped, in place", .path = "in/two", .swap = true, .changed = "site/moved/two"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir tmp;
        ::chmod(tmp.path().c_str(), 0755);
        fs::create_directories(tmp / "site/in"), fs::create_directory(tmp / "hidden");
        for (const char* file : {"hidden/root", "own", "site/in/one", "site/in/two"})
            writeBytes(tmp / file, "old");
        fs::create_hard_link(tmp / "site/in/two", tmp / "site/in/2");
        for (const char* theirs : {"own", "site", "site/in"})
            ASSERT_EQ(::chown((tmp / theirs).c_str(), kNobody, kNobody), 0);
        fs::create_symlink("../hidden/root", tmp / "site/mine");
        if (*c.to)
            asNobody([&] { fs::create_symlink(c.to, tmp / "site" / *fs::path(c.path).begin()); });
        const auto swap = [&] {
            fs::rename(tmp / "site/in", tmp / "site/moved");
            fs::create_symlink("../hidden", tmp / "site/in");
        };

        const auto meanwhile = [&] { c.swap ? asNobody(swap) : void(); };
        EXPECT_EQ(test::failureAs(0, [&] { replaceWithBackup(tmp / "site" / c.path, meanwhile); }),
                  c.expect);
        std::string changed;
        for (const char* file : {"hidden/root", "own", "site/moved/one", "site/moved/two"})
            changed += fs::exists(tmp / file) && readBytes(tmp / file) == "new" ? file : "";
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(namesIn(tmp / "hidden"), std::set<std::string>{"root"});
    }
}

// An ACL as the kernel keeps it (version 2, then tag, permissions and id of each entry,
// little-endian) for the owner, nobody, the owning group, the mask and other.
std::string acl(char owner, char nobody, char group, char mask, char other) {
    std::string bytes("\2\0\0\0", 4);
    for (const auto& [tag, bits] :
         {std::pair{'\1', owner}, {'\2', nobody}, {'\4', group}, {'\x10', mask}, {'\x20', other}})
        bytes += std::string{tag, '\0', bits, '\0'} +
                 (tag == 2 ? std::string("\xfe\xff\0\0", 4) : "\xff\xff\xff\xff");
    return bytes;
}

int setAcl(const fs::path& file, const char* kind, const std::string& acl) {
    return acl.empty() ? 0 : ::setxattr(file.c_str(), kind, acl.data(), acl.size(), 0);
}

// A backup replaces whatever has its name, never writing through a link planted there; a
// read-only backup or a folder of that name is refused, by root too, and another user's file is
// never written in place (a rename over it is refused in their sticky folder, but not to root).
// A backup is readable by no one its file kept out: in another user's set-group-ID folder or one
// with a default ACL, it takes the file's owner, group and ACL (none inherited) and permission
// bits without set-ID bits, plus its owner's write bit. Where the group cannot be given, group
// permissions go, and "other" keeps only what the file's group had; behind a link into a closed
// folder, only the owner keeps any.
TEST(WritePath, backup_replacesTheName_readableByNoOneTheFileKeptOut) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to plant as another user and give files away";
    const std::string nobodyReads = acl(6, 4, 6, 6, 4), nobodyWrites = acl(6, 7, 5, 7, 5);
    const struct {
        const char* name;
        Make plant = [](auto&) {};  // at the backup's name, as nobody; "../open" is root's
        uid_t user = 0;             // runs, and owns the file
        mode_t folder = 01777;      // nobody's folder: permissions and default ACL
        std::string folderAcl = "";
        gid_t group = 0;  // the file's group, permissions and ACL
        mode_t mode = 0640;
        std::string acl = "";
        bool linked = false;  // the file is in a closed folder, behind a link
        std::string expect = "";
        mode_t expectMode = 0640;  // the backup's; its owner and group are the user's
        std::string expectAcl = "";
    } cases[] = {
        {.name = "set-ID bits, read-only for its owner", .mode = 06464, .expectMode = 0664},
        {.name = "a link", .plant = [](auto& b) { fs::create_symlink("../open", b); }},
        {.name = "a hard link",
         .plant = [](auto& b) { fs::create_hard_link(b.parent_path() / "../open", b); }},
        {.name = "a read-only backup",
         .plant = [](auto& b) { writeBytes(b, "kept"), ::chmod(b.c_str(), 0444); },
         .expect = "backup is read-only (Permission denied)"},
        {.name = "a folder",
         .plant = [](auto& b) { fs::create_directory(b); },
         .expect = "a folder has the backup's name (Is a directory)"},
        {.name = "another user's file, rename refused",
         .plant = [](auto& b) { writeBytes(b, "kept"), ::chmod(b.c_str(), 0666); },
         .user = 1234,
         .expect = "the backup's name belongs to another user (Operation not permitted)"},
        {.name = "set-group-ID folder", .folder = 02777},
        {.name = "default ACL", .folderAcl = nobodyWrites},
        {.name = "the file's ACL",
         .folderAcl = nobodyWrites,
         .acl = nobodyReads,
         .expectMode = 0664,
         .expectAcl = nobodyReads},
        {.name = "group not given", .user = 1234, .group = 5678, .mode = 0664, .expectMode = 0604},
        {.name = "group not given, ACL",
         .user = 1234,
         .group = 5678,
         .acl = nobodyReads,
         .expectMode = 0664,
         .expectAcl = acl(6, 4, 0, 6, 4)},
        {.name = "closed folder", .mode = 0644, .linked = true, .expectMode = 0600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir tmp;  // closed (0700) while it holds a linked file
        const fs::path site = tmp / "site", file = (c.linked ? tmp.path() : site) / "page.htm";
        const fs::path name = site / "page.htm BACKUP.htm";
        fs::create_directory(site);
        writeBytes(tmp / "open", "anyone's");
        writeBytes(file, "old");
        if (c.linked)
            fs::create_symlink(file, site / "page.htm");
        ASSERT_EQ(::chmod(tmp.path().c_str(), c.linked ? 0700 : 0755) +
                      ::chmod((tmp / "open").c_str(), 0666) +
                      ::chown(file.c_str(), c.user, c.group) + ::chmod(file.c_str(), c.mode) +
                      setAcl(file, "system.posix_acl_access", c.acl) +
                      ::chown(site.c_str(), kNobody, kNobody) + ::chmod(site.c_str(), c.folder) +
                      setAcl(site, "system.posix_acl_default", c.folderAcl),
                  0);
        asNobody([&] { c.plant(name); });

        EXPECT_EQ(test::failureAs(c.user, [&] { replaceWithBackup(site / "page.htm"); }), c.expect);
        EXPECT_EQ(readBytes(tmp / "open"), "anyone's");
        EXPECT_TRUE(!fs::is_regular_file(name) ||
                    readBytes(name) == (c.expect.empty() ? "old" : "kept"));
        if (const struct stat backup = statOf(name); c.expect.empty()) {
            EXPECT_EQ(std::tuple(backup.st_uid, backup.st_gid, backup.st_mode & 07777),
                      std::tuple(c.user, c.user, c.expectMode));
            EXPECT_EQ(attributeOf(name, "system.posix_acl_access"), c.expectAcl);
        }
        namesIn(site);  // no temporary left
    }
}

}  // namespace
}  // namespace qm::files
