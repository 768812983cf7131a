// The queue's list at scale: 100,000 rows appended, scrolled, marked "Done"
// and cleared in a shown list view set up by the window's own code.
// Prints the median time of each step over a few rounds; a step that stays
// well under a tenth of a second shows no visible stall.
#include <QApplication>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/median.h"
#include "platform/qt_queue_model.h"
#include "queue/file_queue.h"
#include "window/queue_view.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kRows = 100'000;
constexpr int kRounds = 5;

// Runs step, then paints the view at once, and returns the seconds both took.
double timed(QTreeView& view, const std::function<void()>& step) {
    const auto start = Clock::now();
    step();
    view.viewport()->repaint();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using qm::bench::median;

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    qm::platform::QueueModel model;
    QTreeView view;
    qm::window::setUpQueueView(view, model);
    qm::window::addQueueColumns(view, model);
    view.resize(473, 105);  // the window's list
    view.show();
    qm::queue::FileQueue queue(model);

    std::vector<double> append, scroll, mark, clear;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<qm::platform::QueueEntry> rows;
        rows.reserve(kRows);
        for (std::size_t i = 0; i < kRows; ++i) {
            rows.push_back({"/home/user/site/section-" + std::to_string(i % 500) + "/page-" +
                                std::to_string(i) + ".htm",
                            "Queued"});
        }
        append.push_back(timed(view, [&] { queue.append(std::move(rows)); }));
        scroll.push_back(timed(view, [&] {
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
            view.viewport()->repaint();
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
        }));
        // As a replace run marks every row in turn.
        mark.push_back(timed(view, [&] {
            for (std::size_t r = 1; r <= queue.count(); ++r) queue.setStatus(r, "Done");
        }));
        clear.push_back(timed(view, [&] { queue.clear(); }));
    }
    std::printf("list of %zu rows, median of %d rounds:\n", kRows, kRounds);
    std::printf("  append all at once and paint: %7.1f ms\n", 1000 * median(append));
    std::printf("  scroll to the end and middle: %7.1f ms\n", 1000 * median(scroll));
    std::printf("  mark every row \"Done\":        %7.1f ms\n", 1000 * median(mark));
    std::printf("  clear and paint:              %7.1f ms\n", 1000 * median(clear));
    return 0;
}
