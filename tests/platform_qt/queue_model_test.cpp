// The queue's table model under Qt's own model checker.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "platform/qt_queue_model.h"

namespace qm::test {
namespace {

TEST(QueueModel, staysConsistentThroughEveryQueueOperation) {
    platform::QueueModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.addColumn("Filename");
    model.addColumn("Status");
    model.append({{"/a.htm", "Queued"}, {"/b.htm", ""}, {"/a.htm", "Queued"}});
    model.setStatus(1, "Done");
    EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString(), "Done");
    model.removeAt(1);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.filename(1), "/a.htm");
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 2);
}

}  // namespace
}  // namespace qm::test
