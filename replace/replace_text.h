#pragma once
// Replacing one exact text with another (module ReplaceText).

#include <filesystem>
#include <string_view>

#include "files/pending_write.h"

namespace qm::replace {

// Puts content into sink with every occurrence of find replaced by replacement:
// the unchanged runs of content and the replacement, in order, copying nothing.
// Occurrences are found left to right, bytes compared exactly, and never
// overlap; inserted text is not searched again. An empty find text leaves the
// content as it is.
void replaceAll(std::string_view content, std::string_view find, std::string_view replacement,
                files::SliceSink& sink);

// One file rewritten with every occurrence of find replaced: made ready when
// constructed (the file read whole, the new content prepared beside it) and
// put in place by commit(). The file is rewritten even when nothing matches.
// Failures throw files::FileError naming the path; the file then keeps its
// old content. find and replacement must outlive the object.
class ReplaceInFile {
public:
    // Deferred durability leaves flushing the new content to the caller (see PendingWrite).
    ReplaceInFile(const std::filesystem::path& path, std::string_view find,
                  std::string_view replacement,
                  files::Durability durability = files::Durability::Now);
    // The file as opened, and its content as read: what a backup copies.
    const files::InputFile& file() const { return file_; }
    std::string_view content() const { return content_.view(); }
    // The prepared new content: to flush it, and to put it in place with commit().
    files::PendingWrite& write() { return write_; }
    // Puts the new content in place, unless the file has changed since it was read.
    void commit() { write_.commit(); }

private:
    files::InputFile file_;
    files::Bytes content_;
    files::PendingWrite write_;
};

}  // namespace qm::replace
