#pragma once
// New content as byte slices, produced on demand and written with writev() in batches: a
// rewrite's content is never put together in memory, it goes from the old content and the
// replacement straight to the file, and it can be produced again, to count it or to write it a
// second time. Partial writes and interrupted calls go on where they stopped; a write that makes
// no progress fails rather than loops.

#include <filesystem>
#include <functional>
#include <string_view>

namespace qm::files {

// Receives a file's new content as byte slices, in order.
class SliceSink {
public:
    virtual ~SliceSink() = default;
    // Takes bytes, which stay valid until the producer that passes them returns.
    virtual void put(std::string_view bytes) = 0;
};

// Emits the complete new content of a file into the sink; may be called more than once.
using Producer = std::function<void(SliceSink&)>;

// Writes all that produce emits to fd, from its current offset; failures name shown.
void writeAll(int fd, const Producer& produce, const std::filesystem::path& shown);

}  // namespace qm::files
