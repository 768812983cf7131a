// Every call goes through the destination folder's descriptor, never a path: the folder the
// temporary file is created in is the one it is renamed or removed in.
#include "files/temp_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "files/file_error.h"
#include "files/input_file.h"

namespace qm::files {

namespace fs = std::filesystem;

namespace {

// "~quillmere-XXXXXX.tmp": short, so that it fits any NAME_MAX, and starting with "~" so the
// folder import skips it.
constexpr std::string_view kTempPrefix = "~quillmere-", kTempSuffix = ".tmp";
constexpr int kTempRandomLength = 6, kTempAttempts = 100;

}  // namespace

TempFile::TempFile(TempFile&& other) noexcept
    : fd(std::move(other.fd)), folder(other.folder), name(std::exchange(other.name, {})) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    drop();
    fd = std::move(other.fd);
    folder = other.folder;
    name = std::exchange(other.name, {});
    return *this;
}

// O_EXCL: never an existing file, nor a link planted under the name.
int TempFile::create(int into) {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        unsigned char random[kTempRandomLength];
        if (::getrandom(random, sizeof random, 0) != sizeof random)
            return errno;
        std::string candidate(kTempPrefix);
        for (const unsigned char r : random) candidate += kLetters[r % kLetters.size()];
        candidate += kTempSuffix;
        const int made = ::openat(into, candidate.c_str(),
                                  O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (made >= 0) {
            fd = Fd(made);
            folder = into;
            name = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Without this flush, a crash soon after the rename could leave the destination empty or holding
// only part of its new content: the rename may reach the disk before the data. A full fsync, as
// the owner, mode and attributes set after the write must last too.
void TempFile::flush(const fs::path& shown) {
    if (::fsync(fd.get()) != 0)
        failWith("cannot write", shown, errno);
}

// Closed (some file systems report write errors only there), checked, then renamed with nothing
// that waits in between; the temporary file stays when the rename fails.
int TempFile::renameOver(const std::string& target, const fs::path& shown,
                         const InputFile* checked) {
    if (fd.close() != 0)
        failWith("cannot write", shown, errno);
    if (checked)
        checked->checkUnchanged();
    if (::renameat(folder, name.c_str(), folder, target.c_str()) != 0)
        return errno;
    name.clear();
    return 0;
}

void TempFile::drop() {
    fd = Fd();
    if (!name.empty())
        ::unlinkat(folder, name.c_str(), 0);
    name.clear();
}

}  // namespace qm::files
