#pragma once
// Owns a file descriptor. Every descriptor the write path opens is closed however the function
// that opened it is left, by an exception too; and one whose close() can report a write error is
// closed on purpose and its result checked, since some file systems (NFS among them) report a
// failed write only there.

#include <utility>

namespace qm::files {

// Owns a file descriptor and closes it when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    ~Fd();
    // The descriptor, or -1.
    int get() const { return fd_; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }
    // Closes now and returns close()'s result: some file systems report write errors only here.
    int close();

private:
    int fd_ = -1;
};

}  // namespace qm::files
