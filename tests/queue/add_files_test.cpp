#include "queue/add_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes.h"

namespace qm {
namespace {

using namespace std::string_literals;

std::vector<std::string> paths(const test::FakeList& list) {
    std::vector<std::string> out;
    for (const auto& row : list.rows) out.push_back(row.filename.native());
    return out;
}

TEST(AddFiles, selectionIsSplitAtEveryNulAndQueued) {
    struct Case {
        const char* what;
        std::string selection;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"one file is a full path", "/docs/a.htm", {"/docs/a.htm"}},
        {"a typed name that does not exist", "/docs/new page.htm", {"/docs/new page.htm"}},
        {"several: folder, then the names in the order they came",
         "/docs\0c.htm\0a.htm\0b.html"s,
         {"/docs/c.htm", "/docs/a.htm", "/docs/b.html"}},
        {"a root folder keeps one separator", "/\0a.htm\0b.htm"s, {"/a.htm", "/b.htm"}},
        {"a folder given with its separator",
         "/docs/\0a.htm\0b.htm"s,
         {"/docs/a.htm", "/docs/b.htm"}},
        {"names relative to the common folder",
         "/docs\0sub/a.htm\0b.htm"s,
         {"/docs/sub/a.htm", "/docs/b.htm"}},
        {"non-UTF-8 bytes pass untouched",
         "/d\xff\0n\xe9.htm\0\x80.txt"s,
         {"/d\xff/n\xe9.htm", "/d\xff/\x80.txt"}},
        {"nothing chosen", "", {}},
    };
    for (const auto& c : cases) {
        test::FakeList list;
        queue::FileQueue q(list);
        test::FakeDialogs dialogs;
        dialogs.selection = c.selection;
        queue::addFilesFromDialog(q, dialogs);
        EXPECT_EQ(paths(list), c.rows) << c.what;
        for (const auto& row : list.rows) EXPECT_EQ(row.status, "Queued") << c.what;
        EXPECT_LE(list.appendCalls, 1) << c.what;
        ASSERT_EQ(dialogs.opens.size(), 1u);
        EXPECT_EQ(dialogs.opens[0].flags, 0x280201u);
        EXPECT_EQ(dialogs.opens[0].title, "Add File(s) - Hold Ctrl to select multiple files");
        EXPECT_EQ(dialogs.opens[0].filter,
                  "HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|");
    }
}

TEST(AddFiles, largeSelectionIsQueuedWholeAfterExistingRows) {
    test::FakeList list;
    queue::FileQueue q(list);
    q.append("/earlier.htm");
    test::FakeDialogs dialogs;
    dialogs.selection = "/many";
    for (int i = 0; i < 5000; ++i) dialogs.selection += '\0' + std::to_string(i) + ".htm";
    queue::addFilesFromDialog(q, dialogs);
    queue::addFilesFromDialog(q, dialogs);  // the same files again: queued twice
    ASSERT_EQ(q.count(), 10001u);
    EXPECT_EQ(q.path(1), "/earlier.htm");
    for (std::size_t i = 0; i < 5000; ++i) {
        ASSERT_EQ(q.path(i + 2), "/many/" + std::to_string(i) + ".htm");
        ASSERT_EQ(q.path(i + 5002), q.path(i + 2));
    }
}

}  // namespace
}  // namespace qm
