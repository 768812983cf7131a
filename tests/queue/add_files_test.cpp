#include "queue/add_files.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace qm {
namespace {

using namespace std::string_literals;
using test::Strings;

// Each selection is taken twice after one earlier row: the rows come after it, in order, and
// the same files chosen again are queued again, each with "Queued".
TEST(AddFiles, selectionIsSplitAtEveryNulAndQueuedInOrder) {
    std::pair<std::string, Strings> many{"/many", {}};
    for (int i = 0; i < 5000; ++i) {  // no limit on the selection
        many.first += '\0' + std::to_string(i);
        many.second.push_back("/many/" + std::to_string(i));
    }
    const std::pair<std::string, Strings> cases[] = {
        {"/docs/new page.htm", {"/docs/new page.htm"}},  // one file, even one that is not there
        {"/docs\0c.htm\0a.htm\0b.html"s, {"/docs/c.htm", "/docs/a.htm", "/docs/b.html"}},
        {"/\0a.htm\0b.htm"s, {"/a.htm", "/b.htm"}},    // a root folder keeps one separator
        {"/d\xff\0n\xe9.htm"s, {"/d\xff/n\xe9.htm"}},  // bytes that are not UTF-8
        {"", {}},                                      // nothing chosen
        many,
    };
    for (const auto& [selection, rows] : cases) {
        test::FakeList list;
        queue::FileQueue q(list);
        q.append("/earlier.htm", queue::kQueued);
        test::FakeDialogs dialogs;
        dialogs.selection = selection;
        queue::addFilesFromDialog(q, dialogs);
        queue::addFilesFromDialog(q, dialogs);
        Strings expected{"/earlier.htm"};
        for (int twice = 0; twice < 2; ++twice)
            expected.insert(expected.end(), rows.begin(), rows.end());
        EXPECT_EQ(list.column(false), expected);
        EXPECT_EQ(list.column(true), Strings(expected.size(), "Queued"));
        EXPECT_EQ(dialogs.asked.back(),
                  "2621953|Add File(s) - Hold Ctrl to select multiple files|"
                  "HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|");
    }
}

}  // namespace
}  // namespace qm
