// ReplaceInFile against the real file system: what survives a failure, and
// what a rewrite keeps of the file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "replace/replace_text.h"
#include "support/file_checks.h"
#include "support/temp_dir.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readBytes;
using test::writeBytes;
using Names = std::set<std::string>;

struct stat statOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

TEST(ReplaceInFile, failures_reportTheSystemErrorAndChangeNothing) {
    // "it" of n bytes of 'x', with a second hard link (rewritten in place) or without.
    const auto xs = [](std::size_t n, bool linked) {
        return [=](const fs::path& d) {
            writeBytes(d / "it", std::string(n, 'x'));
            if (linked)
                fs::create_hard_link(d / "it", d / "link");
        };
    };
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        const char* replacement;
        int expected;
    };
    const std::vector<Case> cases = {
        {"missingFile", [](const fs::path&) {}, "y", ENOENT},
        {"readOnlyFile",
         [&](const fs::path& d) { xs(3, false)(d), ::chmod((d / "it").c_str(), 0444); }, "y",
         EACCES},  // root too
        {"folder", [](const fs::path& d) { fs::create_directory(d / "it"); }, "y", EISDIR},
        {"fifo", [](const fs::path& d) { ::mkfifo((d / "it").c_str(), 0644); }, "y", ENOTSUP},
        {"deviceBehindLink", [](const fs::path& d) { fs::create_symlink("/dev/zero", d / "it"); },
         "y", ENOTSUP},
        {"danglingLink", [](const fs::path& d) { fs::create_symlink("none", d / "it"); }, "y",
         ENOENT},
        {"writeFailsPartWay", xs(10000, false), "y", EFBIG},
        {"inPlaceWriteFailsPartWay", xs(10000, true), "y", EFBIG},  // first bytes put back
        {"growingFailsPartWay", xs(3000, false), "yyy", EFBIG},
        {"inPlaceGrowingFailsToReserve", xs(3000, true), "yyy", EFBIG},
        {"tooLittleMemory", xs(96u << 20, false), "y", ENOMEM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        c.make(dir.path());
        const auto before = namesIn(dir.path());
        const bool regular = fs::is_regular_file(dir / "it");
        const std::string old = regular ? readBytes(dir / "it") : "";
        const timespec mtime = regular ? statOf(dir / "it").st_mtim : timespec{};
        EXPECT_EQ(test::errorUnderLimits([&] { ReplaceInFile(dir / "it", "x", c.replacement); }),
                  c.expected);
        EXPECT_EQ(namesIn(dir.path()), before);  // nothing created, no temporary left
        if (regular) {
            EXPECT_TRUE(readBytes(dir / "it") == old);
            if (c.expected != EFBIG) {  // undoing an in-place write may touch the time
                EXPECT_EQ(statOf(dir / "it").st_mtim.tv_nsec, mtime.tv_nsec);
            }
        }
    }
}

TEST(ReplaceInFile, symbolicLink_staysALinkAndItsTargetChanges) {
    test::TempDir dir;
    fs::create_directory(dir / "real");
    writeBytes(dir / "real" / "page.htm", "old text");
    fs::create_symlink("real/page.htm", dir / "link.htm");
    ReplaceInFile(dir / "link.htm", "old", "new");
    EXPECT_EQ(fs::read_symlink(dir / "link.htm"), "real/page.htm");
    EXPECT_EQ(readBytes(dir / "real" / "page.htm"), "new text");
    EXPECT_EQ(namesIn(dir / "real"), Names{"page.htm"});
}

TEST(ReplaceInFile, hardLinks_allNamesSeeNewContentAndStayLinked) {
    test::TempDir dir;
    writeBytes(dir / "a.htm", "one old two old");
    fs::create_hard_link(dir / "a.htm", dir / "b.htm");
    const ino_t inode = statOf(dir / "a.htm").st_ino;
    for (const auto& [find, replacement, expected] :
         {std::tuple{"zzz", "", "one old two old"},           // no match: rewritten all the same
          std::tuple{"old", "newer", "one newer two newer"},  // grows
          std::tuple{"newer", "n", "one n two n"}}) {         // shrinks
        const auto before = fs::last_write_time(dir / "a.htm") - std::chrono::seconds(10);
        fs::last_write_time(dir / "a.htm", before);
        ReplaceInFile(dir / "a.htm", find, replacement);
        EXPECT_EQ(readBytes(dir / "b.htm"), expected);
        EXPECT_GT(fs::last_write_time(dir / "b.htm"), before);
        EXPECT_EQ(statOf(dir / "b.htm").st_ino, inode);
        EXPECT_EQ(statOf(dir / "b.htm").st_nlink, 2u);
    }
    EXPECT_EQ(namesIn(dir.path()), (Names{"a.htm", "b.htm"}));
}

TEST(ReplaceInFile, permissionBitsOwnerAndExtendedAttributesKept) {
    test::TempDir dir;
    const bool root = ::geteuid() == 0;
    for (const mode_t mode : {0640, 0604, 0755, 0200, 04755, 02775}) {
        SCOPED_TRACE(mode);
        const auto file = dir / "f.htm";
        writeBytes(file, "old");
        if (root) {  // owner first: a change of owner clears the set-ID bits
            ASSERT_EQ(::chown(file.c_str(), 1234, 5678), 0);
        }
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        const bool xattrs = ::setxattr(file.c_str(), "user.qm", "kept", 4, 0) == 0;
        ReplaceInFile(file, "old", "new");
        EXPECT_EQ(readBytes(file), "new");
        const struct stat st = statOf(file);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(st.st_uid, root ? 1234u : ::geteuid());
        EXPECT_EQ(st.st_gid, root ? 5678u : ::getegid());
        if (xattrs) {  // where the file system has them
            char value[8] = {};
            EXPECT_EQ(::getxattr(file.c_str(), "user.qm", value, sizeof value), 4);
            EXPECT_STREQ(value, "kept");
        }
        fs::remove(file);
    }
}

TEST(ReplaceInFile, folderWithoutWriteAccess_fileRewrittenInPlace) {
    test::TempDir dir;
    const auto file = dir / "locked" / "mine.htm";
    fs::create_directory(dir / "locked");
    writeBytes(file, "old");
    const bool root = ::geteuid() == 0;  // root may write anywhere: try as an ordinary user
    const uid_t nobody = 65534;
    if (root) {
        ::chmod(dir.path().c_str(), 0755);
        ASSERT_EQ(::chown(file.c_str(), nobody, nobody), 0);
    }
    ::chmod((dir / "locked").c_str(), 0555);
    const ino_t inode = statOf(file).st_ino;
    EXPECT_EQ(test::runInChild([&] {
                  if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                      return 97;
                  return test::errorOf([&] { ReplaceInFile(file, "old", "new!"); });
              }),
              0);
    EXPECT_EQ(readBytes(file), "new!");
    EXPECT_EQ(statOf(file).st_ino, inode);
}

// A child rewrites files back and forth without pause and is killed at random moments: every
// file must then hold one whole version, and nothing but "~" temporaries may be left over.
TEST(ReplaceInFile, processKilledAtRandomMoments_eachFileOldOrNew) {
    test::TempDir dir;
    std::vector<std::pair<fs::path, std::size_t>> files{{dir / "big.htm", 1u << 20}};
    for (std::size_t i = 1; i <= 20; ++i) files.emplace_back(dir / std::to_string(i), i * 50);
    for (const auto& [path, n] : files) writeBytes(path, std::string(n, 'a'));
    const Names names = namesIn(dir.path());
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        while (pid == 0) {
            for (const auto& [path, n] : files) ReplaceInFile(path, "a", "bb");
            for (const auto& [path, n] : files) ReplaceInFile(path, "bb", "a");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + rng() % 60));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself";
        for (const auto& [path, n] : files) {
            const std::string now = readBytes(path);
            ASSERT_TRUE(now == std::string(n, 'a') || now == std::string(2 * n, 'b'))
                << path << " is mixed after round " << round;
        }
        ASSERT_EQ(namesIn(dir.path(), /*allowTemps=*/true), names);
    }
}

}  // namespace
}  // namespace qm::replace
