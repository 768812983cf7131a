#include "queue/file_queue.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace qm {
namespace {

using Names = std::vector<std::string>;

Names column(const test::FakeList& list, bool status) {
    Names out;
    for (const auto& r : list.rows) out.push_back(status ? r.status : r.filename.native());
    return out;
}

TEST(FileQueue, rowsKeepOrderAndDuplicates_addressedFromOneToCount) {
    test::FakeList list;
    queue::FileQueue q(list);
    q.append("/a.htm", queue::kQueued);
    q.append("/b.htm");
    q.append("/a.htm", queue::kQueued);
    ASSERT_EQ(q.count(), 3u);
    EXPECT_EQ((Names{q.path(1), q.path(2), q.path(3)}), (Names{"/a.htm", "/b.htm", "/a.htm"}));
    EXPECT_EQ(column(list, true), (Names{"Queued", "", "Queued"}));
    q.setStatus(2, queue::kDone);
    EXPECT_EQ(list.rows[1].status, "Done");
    EXPECT_THROW(q.path(0), std::out_of_range);
    EXPECT_THROW(q.path(4), std::out_of_range);
    EXPECT_THROW(q.setStatus(4, "Done"), std::out_of_range);
}

TEST(FileQueue, removeSelected_closesTheGapOrDoesNothing_clearEmpties) {
    test::FakeList list;
    queue::FileQueue q(list);
    q.append({{"/1", ""}, {"/2", ""}, {"/3", ""}});
    for (const auto stale : {std::optional<std::size_t>{}, std::optional<std::size_t>{7}}) {
        list.selected = stale;  // nothing selected, or a row that is gone
        q.removeSelected();
    }
    EXPECT_EQ(q.count(), 3u);
    list.selected = 1;
    q.removeSelected();
    EXPECT_EQ(column(list, false), (Names{"/1", "/3"}));
    q.clear();
    EXPECT_EQ(q.count(), 0u);
    list.selected = 0;
    q.removeSelected();  // an empty list: no failure escapes
}

}  // namespace
}  // namespace qm
