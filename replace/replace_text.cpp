#include "replace/replace_text.h"

#include <cstring>
#include <new>
#include <system_error>

namespace qm::replace {

namespace {

// Calls emit with each piece of the result, in order: the unchanged runs of content between
// matches and the replacement for each match. The scan resumes behind each match, so matches
// never overlap and inserted text is never scanned.
template <class Emit>
void forEachPiece(std::string_view content, std::string_view find, std::string_view replacement,
                  Emit&& emit) {
    if (find.empty()) {
        emit(content);
        return;
    }
    const char* at = content.data();
    const char* const end = at + content.size();
    while (static_cast<std::size_t>(end - at) >= find.size()) {
        const void* hit =
            ::memmem(at, static_cast<std::size_t>(end - at), find.data(), find.size());
        if (!hit)
            break;
        const char* const match = static_cast<const char*>(hit);
        emit(std::string_view(at, static_cast<std::size_t>(match - at)));
        emit(replacement);
        at = match + find.size();
    }
    emit(std::string_view(at, static_cast<std::size_t>(end - at)));
}

}  // namespace

std::string replaceAll(std::string_view content, std::string_view find,
                       std::string_view replacement) {
    std::string out;
    out.reserve(replacedSize(content, find, replacement));
    forEachPiece(content, find, replacement, [&](std::string_view piece) { out.append(piece); });
    return out;
}

std::uint64_t countMatches(std::string_view content, std::string_view find) {
    if (find.empty())
        return 0;
    std::uint64_t count = 0;
    const char* at = content.data();
    const char* const end = at + content.size();
    while (static_cast<std::size_t>(end - at) >= find.size()) {
        const void* hit =
            ::memmem(at, static_cast<std::size_t>(end - at), find.data(), find.size());
        if (!hit)
            break;
        ++count;
        at = static_cast<const char*>(hit) + find.size();
    }
    return count;
}

std::uint64_t replacedSize(std::string_view content, std::string_view find,
                           std::string_view replacement) {
    const std::uint64_t matches = countMatches(content, find);
    // Each match gives back find's bytes and adds replacement's; never below zero.
    return content.size() - matches * find.size() + matches * replacement.size();
}

void emitReplaced(std::string_view content, std::string_view find, std::string_view replacement,
                  platform::SliceSink& sink) {
    forEachPiece(content, find, replacement, [&](std::string_view piece) { sink.put(piece); });
}

void ReplaceInFile(const std::filesystem::path& path, std::string_view find,
                   std::string_view replacement) {
    try {
        platform::InputFile file(path, platform::InputFile::Purpose::Rewrite);
        const platform::Bytes bytes = file.readAll();
        const std::string_view content = bytes.view();
        const std::uint64_t matches = countMatches(content, find);
        const std::uint64_t size =
            content.size() - matches * find.size() + matches * replacement.size();
        // Without a match there is nothing to search for a second time.
        const platform::Producer produce =
            matches == 0 ? platform::Producer([&](platform::SliceSink& sink) { sink.put(content); })
                         : platform::Producer([&](platform::SliceSink& sink) {
                               emitReplaced(content, find, replacement, sink);
                           });
        platform::rewriteFile(file, size, produce, content);
    } catch (const std::bad_alloc&) {
        // Nothing has been written yet, or the writer has already put the old content back.
        throw std::filesystem::filesystem_error("not enough memory", path,
                                                std::make_error_code(std::errc::not_enough_memory));
    }
}

}  // namespace qm::replace
