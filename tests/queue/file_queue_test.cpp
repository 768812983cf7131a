#include "queue/file_queue.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace qm {
namespace {

using test::Strings;

// Rows keep their order and duplicates, addressed from 1; a double-click removes the selected
// row and closes the gap, or does nothing without one; Clear empties.
TEST(FileQueue, rowsFromOne_removeSelectedClosesTheGapOrDoesNothing) {
    test::FakeList list;
    queue::FileQueue q(list);
    q.append("/a.htm", queue::kQueued);
    q.append({{"/b.htm", ""}, {"/a.htm", "Queued"}});
    q.setStatus(2, queue::kDone);
    EXPECT_EQ((Strings{q.path(1), q.path(2), q.path(3)}), (Strings{"/a.htm", "/b.htm", "/a.htm"}));
    EXPECT_EQ(list.column(true), (Strings{"Queued", "Done", "Queued"}));
    for (const std::size_t row : {0, 4}) {
        EXPECT_THROW(q.path(row), std::out_of_range);
        EXPECT_THROW(q.setStatus(row, "Done"), std::out_of_range);
    }
    for (const auto selected : {std::optional<std::size_t>{}, std::optional<std::size_t>{7}}) {
        list.selected = selected;  // nothing selected, or a row that is gone
        q.removeSelected();
    }
    list.selected = 1;
    q.removeSelected();
    EXPECT_EQ(list.column(false), (Strings{"/a.htm", "/a.htm"}));
    q.clear();
    list.selected = 0;
    q.removeSelected();  // an empty list: nothing escapes
    EXPECT_EQ(q.count(), 0u);
}

}  // namespace
}  // namespace qm
