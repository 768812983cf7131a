#include "window/queue_view.h"

#include <QHeaderView>

#include "platform/qt_text.h"
#include "window/layout.h"

namespace qm::window {

void setUpQueueView(QTreeView& view, platform::QueueModel& model) {
    view.setModel(&model);
    view.setRootIsDecorated(false);
    view.setItemsExpandable(false);
    view.setUniformRowHeights(true);  // keeps a queue of 100,000 rows quick
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows of one deep folder keep their different file names in view.
    view.setTextElideMode(Qt::ElideMiddle);
    view.header()->setStretchLastSection(false);
    view.header()->setSectionsMovable(false);
    // The row the double-click removes is the view's current row.
    model.setSelectionSource([&view]() -> std::optional<std::size_t> {
        const QModelIndex current = view.currentIndex();
        if (!current.isValid()) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(current.row());
    });
}

void addQueueColumns(QTreeView& view, platform::QueueModel& model) {
    const double dpi = view.logicalDpiX();
    for (const ColumnLayout& column : kColumns) {
        model.addColumn(platform::qtText(column.caption));
        view.header()->resizeSection(model.columnCount() - 1, twipsToPixels(column.width, dpi));
    }
}

namespace {
// Scrolling a long list costs far more than marking a row: a run marks thousands a second.
constexpr int kFollowPauseMs = 250;
}  // namespace

StatusFollower::StatusFollower(QTreeView& view) : QObject(&view), view_(view) {
    pause_.setSingleShot(true);
    pause_.setInterval(kFollowPauseMs);
    connect(&pause_, &QTimer::timeout, this, [this] {
        if (row_ >= 0)
            scroll();
    });
    connect(view_.model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft) { statusChanged(topLeft.row()); });
}

void StatusFollower::statusChanged(int row) {
    row_ = row;
    if (!pause_.isActive())
        scroll();
}

void StatusFollower::scroll() {
    // Rows removed meanwhile give an invalid index, which scrolls nothing.
    view_.scrollTo(view_.model()->index(row_, 0));
    row_ = -1;
    pause_.start();
}

}  // namespace qm::window
