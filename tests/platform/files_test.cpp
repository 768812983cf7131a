// The backup copy against the real file system.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "support/file_checks.h"
#include "support/temp_dir.h"

namespace qm::platform {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readBytes;
using test::writeBytes;
using Names = std::set<std::string>;

TEST(CopyFile, copiesContentAndSourcePermissionBits_replacingAnyOldBackup) {
    for (const auto& [sourceMode, backupExists] :
         {std::pair{0644, false}, std::pair{0444, false}, std::pair{0755, true},
          std::pair{04755, false}}) {  // set-ID bits are not copied
        SCOPED_TRACE(testing::Message() << std::oct << sourceMode << backupExists);
        test::TempDir dir;
        const std::string content("a\0b\r\nc\xFF", 7);
        writeBytes(dir / "a.htm", content);
        ::chmod((dir / "a.htm").c_str(), sourceMode);
        if (backupExists) {
            writeBytes(dir / "a.htm BACKUP.htm", "an older, longer backup");
            ::chmod((dir / "a.htm BACKUP.htm").c_str(), 0600);
        }
        copyFile(dir / "a.htm", dir / "a.htm BACKUP.htm");
        EXPECT_EQ(readBytes(dir / "a.htm BACKUP.htm"), content);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "a.htm BACKUP.htm").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, sourceMode & 0777u);
        EXPECT_EQ(namesIn(dir.path()), (Names{"a.htm", "a.htm BACKUP.htm"}));
    }
}

TEST(CopyFile, failures_reportTheSystemErrorAndLeaveTheOldBackupWhole) {
    const auto source = [](std::size_t size) {
        return [=](const fs::path& d) { writeBytes(d / "src", std::string(size, 'n')); };
    };
    const std::vector<std::pair<std::function<void(const fs::path&)>, int>> cases = {
        {[](const fs::path&) {}, ENOENT},
        {[](const fs::path& d) { ::mkfifo((d / "src").c_str(), 0644); }, ENOTSUP},  // no blocking
        {[&](const fs::path& d) { source(3)(d), ::chmod((d / "dst").c_str(), 0444); }, EACCES},
        {source(20000), EFBIG},  // the write fails part-way
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        test::TempDir dir;
        writeBytes(dir / "dst", "old backup");
        cases[i].first(dir.path());
        const auto before = namesIn(dir.path());
        EXPECT_EQ(test::errorUnderLimits([&] { copyFile(dir / "src", dir / "dst"); }),
                  cases[i].second);
        EXPECT_EQ(namesIn(dir.path()), before);
        EXPECT_EQ(readBytes(dir / "dst"), "old backup");
    }
}

}  // namespace
}  // namespace qm::platform
