#include "queue/add_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes.h"

namespace qm {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

// Every case runs the dialog twice after one earlier row: the rows come after
// it, and the same files chosen again are queued again.
TEST(AddFiles, selectionIsSplitAtEveryNulAndQueuedInOrder) {
    struct Case {
        const char* what;
        std::string selection;
        Names rows;
    };
    Case many{"5,000 files, no limit", "/many", {}};
    for (int i = 0; i < 5000; ++i) {
        many.selection += '\0' + std::to_string(i) + ".htm";
        many.rows.push_back("/many/" + std::to_string(i) + ".htm");
    }
    const Case cases[] = {
        {"one file, even one that does not exist", "/docs/new page.htm", {"/docs/new page.htm"}},
        {"several", "/docs\0c.htm\0a.htm\0b.html"s, {"/docs/c.htm", "/docs/a.htm", "/docs/b.html"}},
        {"a root folder keeps one separator", "/\0a.htm\0b.htm"s, {"/a.htm", "/b.htm"}},
        {"non-UTF-8 bytes",
         "/d\xff\0n\xe9.htm\0\x80.txt"s,
         {"/d\xff/n\xe9.htm", "/d\xff/\x80.txt"}},
        {"nothing chosen", "", {}},
        many,
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeList list;
        queue::FileQueue q(list);
        q.append("/earlier.htm", queue::kQueued);
        test::FakeDialogs dialogs;
        dialogs.selection = c.selection;
        queue::addFilesFromDialog(q, dialogs);
        queue::addFilesFromDialog(q, dialogs);
        Names rows{"/earlier.htm"}, got;
        for (int twice = 0; twice < 2; ++twice)
            rows.insert(rows.end(), c.rows.begin(), c.rows.end());
        for (const auto& row : list.rows) {
            got.push_back(row.filename.native());
            ASSERT_EQ(row.status, "Queued");
        }
        EXPECT_EQ(got, rows);
        ASSERT_EQ(dialogs.opens.size(), 2u);
        EXPECT_EQ(dialogs.opens[1].flags, 0x280201u);
        EXPECT_EQ(dialogs.opens[1].title, "Add File(s) - Hold Ctrl to select multiple files");
        EXPECT_EQ(dialogs.opens[1].filter,
                  "HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|");
    }
}

}  // namespace
}  // namespace qm
