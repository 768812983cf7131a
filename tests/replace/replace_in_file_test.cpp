// ReplaceInFile against the real file system: what survives a failure, and
// what a rewrite keeps of the file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "replace/child_process.h"
#include "replace/replace_text.h"
#include "support/temp_dir.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

struct stat statOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

bool isTempName(const std::string& name) {
    return name.rfind("~quillmere-", 0) == 0 && name.size() == 21 && name.ends_with(".tmp");
}

// Names in folder other than leftover temporary files; fails the test on any other stray.
std::set<std::string> namesIn(const fs::path& folder, bool allowTemps = false) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (isTempName(name)) {
            EXPECT_TRUE(allowTemps) << "temporary file left behind: " << name;
            continue;
        }
        names.insert(name);
    }
    return names;
}

TEST(ReplaceInFile, failures_reportTheSystemErrorAndChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;  // creates "it" (or not) in the folder
        int expected;
    };
    const std::vector<Case> cases = {
        {"missingFile", [](const fs::path&) {}, ENOENT},
        {"readOnlyFile",
         [](const fs::path& d) {
             writeBytes(d / "it", "old");
             ::chmod((d / "it").c_str(), 0444);
         },
         EACCES},
        {"folder", [](const fs::path& d) { fs::create_directory(d / "it"); }, EISDIR},
        {"fifo", [](const fs::path& d) { ::mkfifo((d / "it").c_str(), 0644); }, ENOTSUP},
        {"deviceBehindLink", [](const fs::path& d) { fs::create_symlink("/dev/zero", d / "it"); },
         ENOTSUP},
        {"danglingLink", [](const fs::path& d) { fs::create_symlink("nowhere", d / "it"); },
         ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        c.make(dir.path());
        const auto before = namesIn(dir.path());
        struct stat old {};
        const bool existed = ::lstat((dir / "it").c_str(), &old) == 0;
        try {
            ReplaceInFile(dir / "it", "old", "new");
            ADD_FAILURE() << "no error";
        } catch (const fs::filesystem_error& e) {
            EXPECT_EQ(e.code().value(), c.expected) << e.what();
            EXPECT_EQ(e.path1(), dir / "it");
        }
        EXPECT_EQ(namesIn(dir.path()), before);  // nothing created, no temporary left
        if (existed && S_ISREG(old.st_mode)) {
            EXPECT_EQ(readBytes(dir / "it"), "old");
            EXPECT_EQ(statOf(dir / "it").st_mtim.tv_nsec, old.st_mtim.tv_nsec);
        }
    }
}

TEST(ReplaceInFile, callWithoutChange_stillRewritesWithNewMtime) {
    for (const auto& [content, find, hardLinked] :
         {std::tuple{"hello", "xyz", false}, std::tuple{"hello", "", false},
          std::tuple{"", "a", true}}) {
        SCOPED_TRACE(testing::Message() << content << "/" << find << "/" << hardLinked);
        test::TempDir dir;
        writeBytes(dir / "f.htm", content);
        if (hardLinked)
            fs::create_hard_link(dir / "f.htm", dir / "g.htm");  // rewritten in place
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "f.htm").c_str(), old, 0), 0);
        ReplaceInFile(dir / "f.htm", find, "zzz");
        EXPECT_EQ(readBytes(dir / "f.htm"), content);
        EXPECT_GT(statOf(dir / "f.htm").st_mtim.tv_sec, 1000000000);
    }
}
TEST(ReplaceInFile, symbolicLink_staysALinkAndItsTargetChanges) {
    test::TempDir dir;
    fs::create_directory(dir / "real");
    writeBytes(dir / "real" / "page.htm", "old text");
    fs::create_symlink("real/page.htm", dir / "link.htm");
    ReplaceInFile(dir / "link.htm", "old", "new");
    EXPECT_TRUE(fs::is_symlink(dir / "link.htm"));
    EXPECT_EQ(fs::read_symlink(dir / "link.htm"), "real/page.htm");
    EXPECT_EQ(readBytes(dir / "real" / "page.htm"), "new text");
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"link.htm", "real"}));
    EXPECT_EQ(namesIn(dir / "real"), std::set<std::string>{"page.htm"});
}

TEST(ReplaceInFile, hardLinks_allNamesSeeNewContentAndStayLinked) {
    test::TempDir dir;
    writeBytes(dir / "a.htm", "one old two old");
    fs::create_hard_link(dir / "a.htm", dir / "b.htm");
    const ino_t inode = statOf(dir / "a.htm").st_ino;
    for (const auto& [find, replacement, expected] :
         {std::tuple{"old", "newer", "one newer two newer"},  // grows
          std::tuple{"newer", "n", "one n two n"}}) {         // shrinks
        ReplaceInFile(dir / "a.htm", find, replacement);
        EXPECT_EQ(readBytes(dir / "a.htm"), expected);
        EXPECT_EQ(readBytes(dir / "b.htm"), expected);
        EXPECT_EQ(statOf(dir / "b.htm").st_ino, inode);
        EXPECT_EQ(statOf(dir / "b.htm").st_nlink, 2u);
    }
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"a.htm", "b.htm"}));
}

TEST(ReplaceInFile, permissionBitsOwnerAndExtendedAttributesKept) {
    test::TempDir dir;
    const bool root = ::geteuid() == 0;
    for (const mode_t mode : {0600, 0640, 0604, 0755, 0200, 04755, 02775}) {
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

// A write that fails part-way, for real: a file size limit below the new content's end.
TEST(ReplaceInFile, writeFailingPartWay_keepsOldContentAndLeavesNoTemporary) {
    // Rows: old size (of "x"), replacement for each "x", hard-linked (rewritten in place).
    // In place at the same size the write stops part-way and the first bytes must be put back;
    // in place and growing, the space reservation fails first.
    for (const auto& [oldSize, replacement, hardLinked] :
         {std::tuple{10000u, "y", false}, std::tuple{3000u, "yyy", false},
          std::tuple{10000u, "y", true}, std::tuple{3000u, "yyy", true}}) {
        SCOPED_TRACE(testing::Message() << oldSize << replacement << hardLinked);
        test::TempDir dir;
        const auto file = dir / "f.htm";
        const std::string old(oldSize, 'x');
        writeBytes(file, old);
        if (hardLinked)
            fs::create_hard_link(file, dir / "g.htm");
        const int result = test::runInChild([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return test::errorOf([&] { ReplaceInFile(file, "x", replacement); });
        });
        EXPECT_EQ(result, EFBIG);
        EXPECT_EQ(readBytes(file), old);
        namesIn(dir.path());  // no temporary left behind
    }
}

TEST(ReplaceInFile, tooLittleMemory_failsWithEnomemAndKeepsFile) {
    test::TempDir dir;
    const auto file = dir / "big.htm";
    const std::string old(96u << 20, 'x');
    writeBytes(file, old);
    const int result = test::runInChild([&] {
        // Leave the process well under the file's size of extra address space.
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (32u << 20);
        const rlimit limit{room, room};
        ::setrlimit(RLIMIT_AS, &limit);
        return test::errorOf([&] { ReplaceInFile(file, "x", "y"); });
    });
    EXPECT_EQ(result, ENOMEM);
    EXPECT_TRUE(readBytes(file) == old);
    namesIn(dir.path());
}

TEST(ReplaceInFile, folderWithoutWriteAccess_fileRewrittenInPlace) {
    test::TempDir dir;
    const auto locked = dir / "locked";
    fs::create_directory(locked);
    writeBytes(locked / "mine.htm", "old");
    writeBytes(locked / "theirs.htm", "old");
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    if (root) {
        // Root may write anywhere: try it as an ordinary user who owns one file.
        ::chmod(dir.path().c_str(), 0755);
        ASSERT_EQ(::chown((locked / "mine.htm").c_str(), nobody, nobody), 0);
    } else {
        ::chmod((locked / "theirs.htm").c_str(), 0444);
    }
    ::chmod(locked.c_str(), 0555);
    const ino_t inode = statOf(locked / "mine.htm").st_ino;
    const int result = test::runInChild([&] {
        if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            return 97;
        const int mine = test::errorOf([&] { ReplaceInFile(locked / "mine.htm", "old", "new!"); });
        const int theirs =
            test::errorOf([&] { ReplaceInFile(locked / "theirs.htm", "old", "new"); });
        return mine == 0 && theirs == EACCES ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(locked / "mine.htm"), "new!");
    EXPECT_EQ(statOf(locked / "mine.htm").st_ino, inode);
    EXPECT_EQ(readBytes(locked / "theirs.htm"), "old");
}

// A child rewrites files back and forth without pause and is killed at random moments: every
// file must then hold one whole version, and nothing but "~" temporaries may be left over.
TEST(ReplaceInFile, processKilledAtRandomMoments_eachFileOldOrNew) {
    test::TempDir dir;
    std::vector<std::pair<fs::path, std::size_t>> files{{dir / "big.htm", 1u << 20}};
    for (std::size_t i = 1; i <= 20; ++i) files.emplace_back(dir / std::to_string(i), i * 50);
    std::set<std::string> names;
    for (const auto& [path, n] : files) {
        writeBytes(path, std::string(n, 'a'));
        names.insert(path.filename().string());
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        while (pid == 0) {
            // Each step leaves a file that is already in the other version alone.
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
