// The safe writer and the backup copy, against the real file system.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "replace/child_process.h"
#include "support/temp_dir.h"

namespace qm::platform {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CopyFile, copiesContentAndSourcePermissionBits_replacingAnyOldBackup) {
    struct Case {
        const char* name;
        mode_t sourceMode;
        bool backupExists;
    };
    for (const Case& c : std::vector<Case>{{"new0644", 0644, false},
                                           {"new0600", 0600, false},
                                           {"readOnlySource", 0444, false},
                                           {"replaces0600Backup", 0755, true},
                                           {"setIdBitsNotCopied", 04755, false}}) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string content("a\0b\r\nc\xFF", 7);
        writeBytes(dir / "a.htm", content);
        ::chmod((dir / "a.htm").c_str(), c.sourceMode);
        if (c.backupExists) {
            writeBytes(dir / "a.htm BACKUP.htm", "an older, longer backup");
            ::chmod((dir / "a.htm BACKUP.htm").c_str(), 0600);
        }
        copyFile(dir / "a.htm", dir / "a.htm BACKUP.htm");
        EXPECT_EQ(readBytes(dir / "a.htm BACKUP.htm"), content);
        EXPECT_EQ(modeOf(dir / "a.htm BACKUP.htm"), c.sourceMode & 0777);
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"a.htm", "a.htm BACKUP.htm"}));
    }
}

TEST(CopyFile, failures_reportTheSystemErrorAndLeaveTheBackupAlone) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;  // makes "src" and "dst" as needed
        int expected;
    };
    const auto source = [](const fs::path& d) { writeBytes(d / "src", "new"); };
    const std::vector<Case> cases = {
        {"missingSource", [](const fs::path&) {}, ENOENT},
        {"sourceIsFifo", [](const fs::path& d) { ::mkfifo((d / "src").c_str(), 0644); }, ENOTSUP},
        {"destinationIsFolder",
         [&](const fs::path& d) {
             source(d);
             fs::create_directory(d / "dst");
         },
         EISDIR},
        {"readOnlyBackup",
         [&](const fs::path& d) {
             source(d);
             writeBytes(d / "dst", "old");
             ::chmod((d / "dst").c_str(), 0444);
         },
         EACCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        c.make(dir.path());
        const auto before = namesIn(dir.path());
        try {
            copyFile(dir / "src", dir / "dst");
            ADD_FAILURE() << "no error";
        } catch (const fs::filesystem_error& e) {
            EXPECT_EQ(e.code().value(), c.expected) << e.what();
        }
        EXPECT_EQ(namesIn(dir.path()), before);
        if (fs::is_regular_file(dir / "dst")) {
            EXPECT_EQ(readBytes(dir / "dst"), "old");
        }
    }
}

TEST(CopyFile, writeFailingPartWay_keepsTheOldBackup) {
    test::TempDir dir;
    writeBytes(dir / "src", std::string(20000, 'n'));
    writeBytes(dir / "dst", "old backup");
    const int result = test::runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return test::errorOf([&] { copyFile(dir / "src", dir / "dst"); });
    });
    EXPECT_EQ(result, EFBIG);
    EXPECT_EQ(readBytes(dir / "dst"), "old backup");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"dst", "src"}));
}

}  // namespace
}  // namespace qm::platform
