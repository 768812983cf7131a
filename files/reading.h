#pragma once
// A file read whole into one buffer of exactly its size. The buffer is never zero-filled first (a
// large file costs one pass over its bytes, not two); a file too large for memory fails as such
// before anything is read; read() is asked for at most 1 GiB a call, since it transfers about
// 2 GiB at most; and a file that ends before its size was read fails instead of being waited for,
// since someone else is changing it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace qm::files {

// A file's whole content in one buffer of exactly its size (never zero-filled first).
class Bytes {
public:
    Bytes() = default;
    // Allocates size bytes; throws std::bad_alloc when memory does not suffice.
    explicit Bytes(std::size_t size);
    // The bytes as a view (empty for an empty file).
    std::string_view view() const { return {data_.get(), size_}; }
    // Writable start of the buffer.
    char* data() { return data_.get(); }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

// The first size bytes of fd, read from its start; fails if fd ends sooner or memory lacks.
Bytes readWhole(int fd, std::uint64_t size, const std::filesystem::path& shown);

}  // namespace qm::files
