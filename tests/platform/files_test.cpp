// The write path against the real file system: what a rewrite and a backup keep, what a
// failure leaves, and files changed or planted by someone else meanwhile.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "support/file_checks.h"
#include "support/temp_dir.h"

namespace qm::platform {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readBytes;
using test::writeBytes;
using Names = std::set<std::string>;

constexpr uid_t kRoot = 0;
constexpr uid_t kNobody = 65534;  // group 65534 is nobody's own
// cap_net_raw+ep, as setcap writes it.
const std::string kCapability(
    "\x01\x00\x00\x02\x00\x20\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00",
    20);

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

PendingWrite prepare(const InputFile& file, const Bytes& old, std::string content) {
    return PendingWrite::rewrite(file, old.view(), [content](SliceSink& s) { s.put(content); });
}

void rewrite(const fs::path& p, std::string content) {
    const InputFile file(p);
    const Bytes old = file.readAll();
    prepare(file, old, std::move(content)).commit();
}

void backup(const fs::path& from, const fs::path& to) {
    const InputFile file(from);
    const Bytes content = file.readAll();
    PendingWrite::backup(file, content.view(), to).commit();
}

// Tests that give files to other users and act as nobody: CI runs them as root.
class AsOtherUsers : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != kRoot)
            GTEST_SKIP() << "needs root, to own files as other users and to become nobody";
    }
};

// Everything but the content stays: owner, group, permission bits (set-ID bits included),
// extended attributes and capabilities; files that a new file could not stand in for are
// rewritten in place, keeping their inode.
TEST_F(AsOtherUsers, rewrite_keepsEverythingButTheContent) {
    struct Case {
        const char* what;
        uid_t runAs;
        mode_t folderMode;
        uid_t folderOwner, fileOwner;
        gid_t fileGroup;
        mode_t mode;
        bool linked, inPlace;
    };
    const Case cases[] = {
        {"plain", kRoot, 0755, kRoot, 1234, 5678, 0640, false, false},
        {"write-only", kRoot, 0755, kRoot, 1234, 5678, 0200, false, false},
        {"set-user-ID", kRoot, 0755, kRoot, 1234, 5678, 04755, false, false},
        {"hard-linked set-group-ID", kRoot, 0755, kRoot, 1234, 5678, 02775, true, true},
        {"set-user-ID, by its owner", kNobody, 0755, kNobody, kNobody, kNobody, 04755, false,
         false},
        {"set-group-ID, by its owner, linked", kNobody, 0755, kNobody, kNobody, kNobody, 02775,
         true, true},
        {"another user's, group-writable", kNobody, 0775, kRoot, 1234, kNobody, 0664, false, true},
        {"in a sticky folder", kNobody, 01777, kRoot, 1234, kNobody, 0664, false, true},
        {"own file, a group not ours", kNobody, 0755, kNobody, kNobody, 5678, 0644, false, true},
        {"folder without write access", kNobody, 0555, kNobody, kNobody, kNobody, 0644, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir tmp;
        ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
        const fs::path folder = tmp / "f", file = folder / "page.htm";
        fs::create_directory(folder);
        writeBytes(file, "old");
        if (c.linked)
            fs::create_hard_link(file, folder / "other.htm");
        ASSERT_EQ(::chown(file.c_str(), c.fileOwner, c.fileGroup), 0);
        ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);  // after chown, which clears set-ID bits
        ASSERT_EQ(::setxattr(file.c_str(), "user.qm", "kept", 4, 0), 0);
        const bool capable = c.runAs == kRoot;  // only root may set (and put back) capabilities
        if (capable) {
            ASSERT_EQ(::setxattr(file.c_str(), "security.capability", kCapability.data(),
                                 kCapability.size(), 0),
                      0);
        }
        ASSERT_EQ(::chown(folder.c_str(), c.folderOwner, kNobody), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        const struct stat before = statOf(file);

        EXPECT_EQ(
            test::runAs(c.runAs, [&] { return test::errorOf([&] { rewrite(file, "new"); }); }), 0);
        EXPECT_EQ(readBytes(file), "new");
        const struct stat after = statOf(file);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace);
        EXPECT_EQ(attributeOf(file, "user.qm"), "kept");
        EXPECT_EQ(attributeOf(file, "security.capability"), capable ? kCapability : "");
        EXPECT_EQ(namesIn(folder), (c.linked ? Names{"other.htm", "page.htm"} : Names{"page.htm"}));
    }
}

// Nothing changes when a rewrite fails: not the file, not its folder.
TEST(WritePath, rewriteFailures_reportTheSystemErrorAndChangeNothing) {
    const auto xs = [](std::size_t n, bool linked) {
        return [=](const fs::path& d) {
            writeBytes(d / "it", std::string(n, 'x'));
            if (linked)
                fs::create_hard_link(d / "it", d / "link");
        };
    };
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::size_t newSize;
        int expected;
    };
    const Case cases[] = {
        {"missing file", [](const fs::path&) {}, 1, ENOENT},
        {"read-only file",
         [&](const fs::path& d) { xs(3, false)(d), ::chmod((d / "it").c_str(), 0444); }, 1,
         EACCES},  // even for root
        {"folder", [](const fs::path& d) { fs::create_directory(d / "it"); }, 1, EISDIR},
        {"FIFO, never opened", [](const fs::path& d) { ::mkfifo((d / "it").c_str(), 0644); }, 1,
         ENOTSUP},
        {"device behind a link",
         [](const fs::path& d) { fs::create_symlink("/dev/zero", d / "it"); }, 1, ENOTSUP},
        {"dangling link", [](const fs::path& d) { fs::create_symlink("none", d / "it"); }, 1,
         ENOENT},
        {"write fails part-way", xs(3000, false), 10000, EFBIG},
        {"in-place write fails part-way", xs(10000, true), 9000, EFBIG},
        {"in-place growth cannot be reserved", xs(3000, true), 10000, EFBIG},
        {"too little memory", xs(96u << 20, false), 1, ENOMEM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir tmp;
        c.make(tmp.path());
        const auto before = namesIn(tmp.path());
        const bool regular = fs::is_regular_file(tmp / "it");
        const std::string old = regular ? readBytes(tmp / "it") : "";
        EXPECT_EQ(test::errorUnderLimits([&] { rewrite(tmp / "it", std::string(c.newSize, 'y')); }),
                  c.expected);
        EXPECT_EQ(namesIn(tmp.path()), before);  // nothing created, no temporary left
        if (regular) {
            EXPECT_TRUE(readBytes(tmp / "it") == old);
        }
    }
}

// A file written to, replaced or removed by someone else between the read and the commit
// keeps what the other writer left, and the row fails with a clear reason.
TEST(WritePath, fileChangedBeforeCommit_keepsTheOtherWritersContent) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> changes = {
        {"appended", [](const fs::path& f) { writeBytes(f, readBytes(f) + " appended"); }},
        {"same size, later",
         [](const fs::path& f) {
             writeBytes(f, "OLD");
             fs::last_write_time(f, fs::last_write_time(f) + std::chrono::seconds(5));
         }},
        {"replaced",
         [](const fs::path& f) {
             writeBytes(f.parent_path() / "n", "other");
             fs::rename(f.parent_path() / "n", f);
         }},
        {"removed", [](const fs::path& f) { fs::remove(f); }},
    };
    for (const auto& [what, change] : changes) {
        for (const bool linked : {false, true}) {
            SCOPED_TRACE(std::string(what) + (linked ? ", in place" : ""));
            const test::TempDir tmp;
            const fs::path file = tmp / "page.htm";
            writeBytes(file, "old");
            if (linked)
                fs::create_hard_link(file, tmp / "link.htm");
            bool exists = false;
            std::string theirs;
            try {
                const InputFile input(file);
                const Bytes old = input.readAll();
                PendingWrite pending = prepare(input, old, "new");
                change(file);
                exists = fs::exists(file);
                theirs = exists ? readBytes(file) : "";
                pending.commit();
                ADD_FAILURE() << "committed over someone else's change";
            } catch (const FileError& e) {
                EXPECT_EQ(e.path(), file);
                EXPECT_EQ(e.reason(), "file changed while it was being rewritten");
            }
            EXPECT_EQ(fs::exists(file), exists);
            if (exists) {
                EXPECT_EQ(readBytes(file), theirs);
            }
            namesIn(tmp.path());  // no temporary left
        }
    }
}

// A backup replaces whatever has its name (never writing through a link), takes the source's
// permission bits plus its owner's write bit, and leaves a read-only backup or a folder alone.
TEST_F(AsOtherUsers, backup_replacesTheNameNeverWritesThroughALink) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& backupName, const fs::path& elsewhere)> plant;
        int expected;
    };
    const auto planted = [](std::function<void(const fs::path&, const fs::path&)> how) {
        return [how](const fs::path& name, const fs::path& elsewhere) {  // by another user
            ASSERT_EQ(test::runAs(kNobody, [&] { return how(name, elsewhere), 0; }), 0);
        };
    };
    const Case cases[] = {
        {"no backup yet", [](const fs::path&, const fs::path&) {}, 0},
        {"an older backup",
         [](const fs::path& b, const fs::path&) { writeBytes(b, "older, longer"); }, 0},
        {"a link to root's file",
         planted([](const fs::path& b, const fs::path& e) { fs::create_symlink(e / "secret", b); }),
         0},
        {"a link to a file anyone may write",
         planted([](const fs::path& b, const fs::path& e) { fs::create_symlink(e / "open", b); }),
         0},
        {"a hard link to another file",
         planted([](const fs::path& b, const fs::path& e) { fs::create_hard_link(e / "open", b); }),
         0},
        {"a read-only backup",
         [](const fs::path& b, const fs::path&) {
             writeBytes(b, "kept"), ::chmod(b.c_str(), 0444);
         },
         EACCES},
        {"a folder", [](const fs::path& b, const fs::path&) { fs::create_directory(b); }, EISDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir tmp;
        ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
        const fs::path site = tmp / "site", elsewhere = tmp / "elsewhere";
        fs::create_directory(site);
        fs::create_directory(elsewhere);
        ASSERT_EQ(::chown(site.c_str(), kNobody, kNobody), 0);  // another user may write here
        ASSERT_EQ(::chmod(elsewhere.c_str(), 0777), 0);
        writeBytes(elsewhere / "secret", "root's");
        ASSERT_EQ(::chmod((elsewhere / "secret").c_str(), 0600), 0);
        writeBytes(elsewhere / "open", "anyone's");
        ASSERT_EQ(::chmod((elsewhere / "open").c_str(), 0666), 0);
        const fs::path page = site / "a.htm", name = site / "a.htm BACKUP.htm";
        writeBytes(page, std::string("a\0b\r\n\xFF", 6));
        ASSERT_EQ(::chmod(page.c_str(), 04525), 0);  // set-user-ID, read-only for its owner
        c.plant(name, elsewhere);
        const bool regularBefore = fs::is_regular_file(fs::symlink_status(name));
        const std::string before = regularBefore ? readBytes(name) : "";

        EXPECT_EQ(test::errorOf([&] { backup(page, name); }), c.expected);
        EXPECT_EQ(readBytes(elsewhere / "secret"), "root's");
        EXPECT_EQ(readBytes(elsewhere / "open"), "anyone's");
        if (c.expected == 0) {
            const struct stat st = statOf(name);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_EQ(st.st_mode & 07777, 0725u);
            EXPECT_EQ(readBytes(name), readBytes(page));
        } else if (regularBefore) {
            EXPECT_EQ(readBytes(name), before);
        }
        namesIn(site);  // no temporary left
    }
}

}  // namespace
}  // namespace qm::platform
