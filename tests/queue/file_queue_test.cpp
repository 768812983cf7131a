#include "queue/file_queue.h"

#include <gtest/gtest.h>

#include "queue/spring_back.h"
#include "support/fakes.h"

namespace qm {
namespace {

using platform::QueueEntry;

TEST(FileQueue, appendKeepsOrderAndDuplicates) {
    test::FakeList list;
    queue::FileQueue q(list);
    q.append("/a.htm", queue::kQueued);
    q.append("/b.htm");
    q.append("/a.htm", queue::kQueued);
    ASSERT_EQ(q.count(), 3u);
    EXPECT_EQ(q.path(1), "/a.htm");
    EXPECT_EQ(q.path(2), "/b.htm");
    EXPECT_EQ(q.path(3), "/a.htm");
    EXPECT_EQ(list.rows[0].status, "Queued");
    EXPECT_EQ(list.rows[1].status, "");
}

TEST(FileQueue, rowsOutsideOneToCount_throw) {
    test::FakeList list;
    queue::FileQueue q(list);
    q.append("/a");
    EXPECT_THROW(q.path(0), std::out_of_range);
    EXPECT_THROW(q.path(2), std::out_of_range);
    EXPECT_THROW(q.setStatus(2, "Done"), std::out_of_range);
    q.setStatus(1, "Done");
    EXPECT_EQ(list.rows[0].status, "Done");
}

TEST(FileQueue, removeSelected_closesTheGapOrDoesNothing) {
    struct Case {
        std::optional<std::size_t> selected;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {1, {"/1", "/3"}},                   // the middle row: the last moves up
        {std::nullopt, {"/1", "/2", "/3"}},  // nothing selected
        {7, {"/1", "/2", "/3"}},             // a stale selection past the end
    };
    for (const auto& c : cases) {
        test::FakeList list;
        queue::FileQueue q(list);
        q.append({{"/1", ""}, {"/2", ""}, {"/3", ""}});
        list.selected = c.selected;
        q.removeSelected();
        std::vector<std::string> left;
        for (std::size_t r = 1; r <= q.count(); ++r) left.push_back(q.path(r).string());
        EXPECT_EQ(left, c.left);
    }
    test::FakeList empty;
    queue::FileQueue q(empty);
    empty.selected = 0;
    q.removeSelected();  // an empty list: no failure escapes
    EXPECT_EQ(q.count(), 0u);
}

TEST(SpringBack, actsOnceAndButtonEndsRaised) {
    test::FakeButton button;
    int acted = 0;
    button.onClick = [&] {
        if (queue::springBack(button))
            ++acted;
    };
    button.setValue(1);  // a user's click
    EXPECT_EQ(acted, 1);
    EXPECT_EQ(button.value(), 0);
    EXPECT_EQ(button.clicks, (std::vector<int>{1, 0}));
}

}  // namespace
}  // namespace qm
