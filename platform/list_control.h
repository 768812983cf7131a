#pragma once
// The list control that shows the file queue. Its rows are the queue itself:
// nothing else keeps a copy of them.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qm::platform {

// One row of the queue: the file's full path and the status text shown beside it.
struct QueueEntry {
    std::filesystem::path filename;
    std::string status;  // UTF-8: "Queued", "Done" or empty
};

// Rows are addressed from 0 here; the queue layer turns that into 1-based positions.
class ListControl {
public:
    virtual ~ListControl() = default;
    // Appends rows at the end, in the order given.
    virtual void append(std::vector<QueueEntry> rows) = 0;
    // Number of rows.
    virtual std::size_t count() const = 0;
    // Path of the row at index (index < count()).
    virtual std::filesystem::path filename(std::size_t index) const = 0;
    // Replaces the status text of the row at index (index < count()).
    virtual void setStatus(std::size_t index, const std::string& status) = 0;
    // Removes the row at index; the rows after it move up.
    virtual void removeAt(std::size_t index) = 0;
    // Removes every row.
    virtual void clear() = 0;
    // The row the control reports as selected (its current row), if any.
    virtual std::optional<std::size_t> selectedIndex() const = 0;
};

}  // namespace qm::platform
