#pragma once
// The file queue: an ordered list of (path, status) rows shown by the list
// control. Rows are addressed from 1; the same path may stand in many rows.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/list_control.h"

namespace qm::queue {

inline constexpr const char* kQueued = "Queued";
inline constexpr const char* kDone = "Done";
// A run's backup of a file is the file's path followed by this; the folder import passes over it.
inline constexpr std::string_view kBackupSuffix = " BACKUP.htm";

// Does not own the control; the control must outlive the queue.
class FileQueue {
public:
    explicit FileQueue(platform::ListControl& list) : list_(list) {}

    // Appends one row at the end.
    void append(std::filesystem::path path, std::string status = {});
    // Appends rows at the end, in order, in one step.
    void append(std::vector<platform::QueueEntry> rows);
    // Number of rows.
    std::size_t count() const { return list_.count(); }
    // Path of row (1..count()); throws std::out_of_range otherwise.
    std::filesystem::path path(std::size_t row) const;
    // Sets the status of row (1..count()); throws std::out_of_range otherwise.
    void setStatus(std::size_t row, const std::string& status);
    // Removes the selected row; with none selected (or any failure) nothing happens.
    void removeSelected() noexcept;
    // Removes every row.
    void clear() { list_.clear(); }

private:
    std::size_t index(std::size_t row) const;
    platform::ListControl& list_;
};

}  // namespace qm::queue
