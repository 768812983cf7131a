#pragma once
// The file queue's list view as the window sets it up, shared with the list benchmark.

#include <QTreeView>

#include "platform/qt_queue_model.h"

namespace qm::window {

// Shows model in view: report rows, one selected row, no editing, long paths elided in the middle.
void setUpQueueView(QTreeView& view, platform::QueueModel& model);

// Adds the queue's columns, "Filename" and "Status", at their widths for the view's screen.
void addQueueColumns(QTreeView& view, platform::QueueModel& model);

}  // namespace qm::window
