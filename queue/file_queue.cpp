#include "queue/file_queue.h"

#include <stdexcept>

namespace qm::queue {

void FileQueue::append(std::filesystem::path path, std::string status) {
    std::vector<platform::QueueEntry> rows;
    rows.push_back({std::move(path), std::move(status)});
    list_.append(std::move(rows));
}

void FileQueue::append(std::vector<platform::QueueEntry> rows) {
    if (!rows.empty()) {
        list_.append(std::move(rows));
    }
}

std::size_t FileQueue::index(std::size_t row) const {
    if (row < 1 || row > list_.count()) {
        throw std::out_of_range("queue row " + std::to_string(row) + " does not exist");
    }
    return row - 1;
}

std::filesystem::path FileQueue::path(std::size_t row) const {
    return list_.filename(index(row));
}

void FileQueue::setStatus(std::size_t row, const std::string& status) {
    list_.setStatus(index(row), status);
}

void FileQueue::removeSelected() noexcept {
    // A double-click with nothing selected, or on a row that is gone, is
    // passed over without a word.
    try {
        const auto selected = list_.selectedIndex();
        if (selected && *selected < list_.count()) {
            list_.removeAt(*selected);
        }
    } catch (...) {
    }
}

}  // namespace qm::queue
