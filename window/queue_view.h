#pragma once
// The file queue's list view as the window sets it up, shared with the list benchmark.

#include <QTimer>
#include <QTreeView>

#include "platform/qt_queue_model.h"

namespace qm::window {

// Shows model in view: report rows, one selected row, no editing, long paths elided in the middle.
void setUpQueueView(QTreeView& view, platform::QueueModel& model);

// Adds the queue's columns, "Filename" and "Status", at their widths for the view's screen.
void addQueueColumns(QTreeView& view, platform::QueueModel& model);

// Keeps the row whose status changed last in view, so that a run is seen to advance: statuses
// change only while a run marks rows "Done". It scrolls at once, then at most four times a
// second, always to the latest row; it never moves the current row or the selection.
class StatusFollower final : public QObject {
public:
    // Owned by the view, whose model must be set and outlive it.
    explicit StatusFollower(QTreeView& view);

private:
    void statusChanged(int row);
    void scroll();

    QTreeView& view_;
    QTimer pause_;
    int row_ = -1;  // the row to show; -1 once shown
};

}  // namespace qm::window
