// Slices are gathered into batches of as many as one writev() takes, so that a file with many
// matches costs a few calls, not one per slice.
#include "files/slices.h"

#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "files/file_error.h"

namespace qm::files {

namespace fs = std::filesystem;

namespace {

#ifdef IOV_MAX
constexpr int kMaxSlices = IOV_MAX;
#else
constexpr int kMaxSlices = UIO_MAXIOV;
#endif

// Gathers slices into writev batches of at most kMaxSlices.
class BatchWriter final : public SliceSink {
public:
    BatchWriter(int fd, const fs::path& shown) : fd_(fd), shown_(shown) {}

    void put(std::string_view bytes) override {
        if (bytes.empty())
            return;
        slices_[count_++] = {const_cast<char*>(bytes.data()), bytes.size()};
        if (count_ == kMaxSlices)
            flush();
    }

    void flush() {
        iovec* next = slices_.data();
        int left = count_;
        while (left > 0) {
            const ssize_t n = ::writev(fd_, next, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                failWith("cannot write", shown_, n < 0 ? errno : EIO);
            // A partial write: skip what went out and go on from there.
            auto done = static_cast<std::size_t>(n);
            while (left > 0 && done >= next->iov_len) {
                done -= next->iov_len;
                ++next;
                --left;
            }
            if (left > 0) {
                next->iov_base = static_cast<char*>(next->iov_base) + done;
                next->iov_len -= done;
            }
        }
        count_ = 0;
    }

private:
    int fd_;
    const fs::path& shown_;
    std::array<iovec, kMaxSlices> slices_;
    int count_ = 0;
};

}  // namespace

void writeAll(int fd, const Producer& produce, const fs::path& shown) {
    BatchWriter writer(fd, shown);
    produce(writer);
    writer.flush();
}

}  // namespace qm::files
