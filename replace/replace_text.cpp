#include "replace/replace_text.h"

#include <cstring>

namespace qm::replace {

void replaceAll(std::string_view content, std::string_view find, std::string_view replacement,
                files::SliceSink& sink) {
    const char* at = content.data();
    const char* const end = at + content.size();
    while (!find.empty() && static_cast<std::size_t>(end - at) >= find.size()) {
        const void* hit =
            ::memmem(at, static_cast<std::size_t>(end - at), find.data(), find.size());
        if (!hit)
            break;
        const char* const match = static_cast<const char*>(hit);
        sink.put({at, static_cast<std::size_t>(match - at)});
        sink.put(replacement);
        at = match + find.size();
    }
    sink.put({at, static_cast<std::size_t>(end - at)});
}

ReplaceInFile::ReplaceInFile(const std::filesystem::path& path, std::string_view find,
                             std::string_view replacement, files::Durability durability)
    : file_(path),
      content_(file_.readAll()),
      write_(files::PendingWrite::rewrite(
          file_, content_.view(),
          [content = content_.view(), find, replacement](files::SliceSink& sink) {
              replaceAll(content, find, replacement, sink);
          },
          durability)) {}

}  // namespace qm::replace
