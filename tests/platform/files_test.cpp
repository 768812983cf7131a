// The write path against the real file system: what a rewrite and a backup keep, what a
// failure leaves, and files changed or planted by someone else meanwhile.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/xattr.h>

#include "support/file_checks.h"

namespace qm::platform {
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

PendingWrite prepare(const InputFile& file, const Bytes& old, std::string content) {
    return PendingWrite::rewrite(file, old.view(), [content](SliceSink& s) { s.put(content); });
}

void rewrite(const fs::path& p, std::string content) {
    const InputFile file(p);
    const Bytes old = file.readAll();
    prepare(file, old, std::move(content)).commit();
}

// Everything but the content stays: owner, group, permission bits (set-ID bits included),
// extended attributes and capabilities (which only root may set). Files that a new file could
// not stand in for are rewritten in place, keeping their inode. As root, to give files to other
// users and to become nobody.
TEST(WritePath, rewrite_keepsEverythingButTheContent) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    // What, who rewrites, the folder's mode and owner, the file's owner, group and mode, whether
    // it has a second name, whether it is rewritten in place.
    using Case = std::tuple<const char*, uid_t, mode_t, uid_t, uid_t, gid_t, mode_t, bool, bool>;
    constexpr uid_t n = kNobody;
    const Case cases[] = {
        {"plain", 0, 0755, 0, 1234, 5678, 0640, false, false},
        {"set-user-ID", 0, 0755, 0, 1234, 5678, 04755, false, false},
        {"hard-linked set-group-ID", 0, 0755, 0, 1234, 5678, 02775, true, true},
        {"set-user-ID by its owner", n, 0755, n, n, n, 04755, false, false},
        {"linked set-group-ID by its owner", n, 0755, n, n, n, 02775, true, true},
        {"another's, group-writable", n, 0775, 0, 1234, n, 0664, false, true},
        {"in a sticky folder", n, 01777, 0, 1234, n, 0664, false, true},
        {"own file, another group", n, 0755, n, n, 5678, 0644, false, true},
        {"folder not writable", n, 0555, n, n, n, 0644, false, true},
    };
    for (const auto& [what, user, folderMode, folderOwner, owner, group, mode, linked, inPlace] :
         cases) {
        SCOPED_TRACE(what);
        const test::TempDir tmp;
        ::chmod(tmp.path().c_str(), 0755);
        const fs::path folder = tmp / "f", file = folder / "page.htm";
        fs::create_directory(folder);
        writeBytes(file, "old");
        if (linked)
            fs::create_hard_link(file, folder / "other.htm");
        ASSERT_EQ(::chown(file.c_str(), owner, group), 0);
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);  // after chown, which clears set-ID bits
        ASSERT_EQ(::setxattr(file.c_str(), "user.qm", "kept", 4, 0), 0);
        const std::string capability = user == 0 ? kCapability : "";
        if (!capability.empty())
            ::setxattr(file.c_str(), "security.capability", capability.data(), 20, 0);
        ASSERT_EQ(::chown(folder.c_str(), folderOwner, kNobody), 0);
        ASSERT_EQ(::chmod(folder.c_str(), folderMode), 0);
        const struct stat before = statOf(file);

        EXPECT_EQ(test::runAs(user, [&] { return test::errorOf([&] { rewrite(file, "new"); }); }),
                  0);
        const struct stat after = statOf(file);
        EXPECT_EQ(readBytes(file), "new");
        EXPECT_EQ(std::tuple(after.st_mode, after.st_uid, after.st_gid),
                  std::tuple(before.st_mode, before.st_uid, before.st_gid));
        EXPECT_EQ(after.st_ino == before.st_ino, inPlace);
        EXPECT_EQ(attributeOf(file, "user.qm") + attributeOf(file, "security.capability"),
                  "kept" + capability);
        EXPECT_EQ(namesIn(folder).size(), linked ? 2u : 1u);  // no temporary left
    }
}

// Nothing changes when a rewrite fails, not the file, not its folder: under real limits on file
// size and memory, and for what is not a regular file (missing, read-only files and FIFOs are
// among the run's failing rows).
TEST(WritePath, rewriteFailures_reportTheSystemErrorAndChangeNothing) {
    const auto xs = [](std::size_t n, bool linked) -> Make {
        return [=](const fs::path& d) {
            writeBytes(d / "it", std::string(n, 'x'));
            if (linked)
                fs::create_hard_link(d / "it", d / "link");
        };
    };
    const std::tuple<const char*, Make, std::size_t, int> cases[] = {
        {"folder", [](auto& d) { fs::create_directory(d / "it"); }, 1, EISDIR},
        {"device behind a link", [](auto& d) { fs::create_symlink("/dev/zero", d / "it"); }, 1,
         ENOTSUP},
        {"write fails part-way", xs(3000, false), 10000, EFBIG},
        {"in-place write fails part-way", xs(10000, true), 9000, EFBIG},
        {"in-place growth cannot be reserved", xs(3000, true), 10000, EFBIG},
        {"too little memory", xs(96u << 20, false), 1, ENOMEM},
    };
    for (const auto& [what, make, newSize, expected] : cases) {
        SCOPED_TRACE(what);
        const test::TempDir tmp;
        make(tmp.path());
        const auto before = namesIn(tmp.path());
        const bool regular = fs::is_regular_file(tmp / "it");
        const std::string old = regular ? readBytes(tmp / "it") : "";
        EXPECT_EQ(test::errorUnderLimits([&] { rewrite(tmp / "it", std::string(newSize, 'y')); }),
                  expected);
        EXPECT_EQ(namesIn(tmp.path()), before);  // nothing created, no temporary left
        EXPECT_TRUE(!regular || readBytes(tmp / "it") == old);
    }
}

// A file written to, replaced or removed by someone else between the read and the commit
// keeps what the other writer left, and the commit fails with a clear reason.
TEST(WritePath, fileChangedBeforeCommit_keepsTheOtherWritersContent) {
    const std::pair<const char*, Make> changes[] = {
        {"appended", [](auto& f) { writeBytes(f, readBytes(f) + " appended"); }},
        {"same size, a nanosecond later",
         [](auto& f) {
             const auto read = fs::last_write_time(f);
             writeBytes(f, "OLD");
             fs::last_write_time(f, read + std::chrono::nanoseconds(1));
         }},
        {"replaced",
         [](auto& f) { writeBytes(f.string() + "~", "x"), fs::rename(f.string() + "~", f); }},
        {"removed", [](auto& f) { fs::remove(f); }},
    };
    for (const auto& [what, change] : changes) {
        for (const bool linked : {false, true}) {
            SCOPED_TRACE(std::string(what) + (linked ? ", in place" : ""));
            const test::TempDir tmp;
            const fs::path file = tmp / "page.htm";
            writeBytes(file, "old");
            if (linked)
                fs::create_hard_link(file, tmp / "link.htm");
            std::string theirs;
            try {
                const InputFile input(file);
                const Bytes old = input.readAll();
                PendingWrite pending = prepare(input, old, "new");
                change(file);
                theirs = fs::exists(file) ? readBytes(file) : "(none)";
                pending.commit();
                ADD_FAILURE() << "committed over someone else's change";
            } catch (const FileError& e) {
                EXPECT_EQ(e.reason() + " " + e.path().native(),
                          "file changed while it was being rewritten " + file.native());
            }
            EXPECT_EQ(fs::exists(file) ? readBytes(file) : "(none)", theirs);
            namesIn(tmp.path());  // no temporary left
        }
    }
    const test::TempDir tmp;  // and one that shrinks before it is read fails, not waits
    writeBytes(tmp / "f", "old");
    const InputFile input(tmp / "f");
    fs::resize_file(tmp / "f", 1);
    EXPECT_EQ(test::errorOf([&] { input.readAll(); }), ECANCELED);
}

// A backup replaces whatever has its name, never writing through a link planted there; it takes the
// source's permission bits without set-ID bits plus its owner's write bit; a read-only backup or a
// folder of that name is refused, by root too.
TEST(WritePath, backup_replacesTheNameNeverWritesThroughALink) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, who may write any file";
    using Plant = std::function<void(const fs::path& name, const fs::path& elsewhere)>;
    const std::tuple<const char*, Plant, int> cases[] = {
        {"no backup yet", [](auto&, auto&) {}, 0},
        {"an older backup", [](auto& b, auto&) { writeBytes(b, "older"); }, 0},
        {"a link to another file", [](auto& b, auto& e) { fs::create_symlink(e / "open", b); }, 0},
        {"a hard link to another file",
         [](auto& b, auto& e) { fs::create_hard_link(e / "open", b); }, 0},
        {"a read-only backup",
         [](auto& b, auto&) { writeBytes(b, "kept"), ::chmod(b.c_str(), 0444); }, EACCES},
        {"a folder", [](auto& b, auto&) { fs::create_directory(b); }, EISDIR},
    };
    for (const auto& [what, plant, expected] : cases) {
        SCOPED_TRACE(what);
        const test::TempDir tmp;
        writeBytes(tmp / "open", "anyone's");
        ::chmod((tmp / "open").c_str(), 0666);
        const fs::path site = tmp / "site", page = site / "a.htm", name = site / "a.htm BACKUP.htm";
        fs::create_directory(site);
        writeBytes(page, std::string("a\0b\r\n\xFF", 6));
        ::chmod(page.c_str(), 04525);  // set-user-ID, read-only for its owner
        plant(name, tmp.path());
        const std::string before = fs::is_regular_file(name) ? readBytes(name) : "";

        EXPECT_EQ(test::errorOf([&] {
                      const InputFile source(page);
                      const Bytes content = source.readAll();
                      PendingWrite::backup(source, content.view(), name).commit();
                  }),
                  expected);
        EXPECT_EQ(readBytes(tmp / "open"), "anyone's");
        if (expected == 0) {
            EXPECT_EQ(statOf(name).st_mode, S_IFREG | 0725u);
            EXPECT_EQ(readBytes(name), readBytes(page));
        } else if (!before.empty()) {
            EXPECT_EQ(readBytes(name), before);
        }
        namesIn(site);  // no temporary left
    }
}

}  // namespace
}  // namespace qm::platform
