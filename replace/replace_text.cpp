#include "replace/replace_text.h"

#include "platform/errors.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <span>
#include <system_error>
#include <vector>

namespace qm::replace {

namespace {

// Match offsets remembered by the counting pass so that writing needs no second search; at most
// this many (8 MiB), so that a file made of matches costs no more memory than that.
constexpr std::size_t kRememberedMatches = std::size_t{1} << 20;

// Counts the non-overlapping matches left to right, remembering the offsets of the first ones.
std::uint64_t scanMatches(std::string_view content, std::string_view find,
                          std::vector<std::size_t>* remember) {
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
        const char* const match = static_cast<const char*>(hit);
        if (remember && remember->size() < kRememberedMatches)
            remember->push_back(static_cast<std::size_t>(match - content.data()));
        ++count;
        at = match + find.size();
    }
    return count;
}

// Calls emit with each piece of the result, in order: the unchanged runs of content between
// matches and the replacement for each match. known holds the offsets of the first matches as
// scanMatches found them; with searchOn, the scan goes on behind the last. It resumes behind
// each match, so matches never overlap and inserted text is never scanned.
template <class Emit>
void forEachPiece(std::string_view content, std::string_view find, std::string_view replacement,
                  std::span<const std::size_t> known, bool searchOn, Emit&& emit) {
    if (find.empty()) {
        emit(content);
        return;
    }
    const char* at = content.data();
    const char* const end = at + content.size();
    for (const std::size_t offset : known) {
        const char* const match = content.data() + offset;
        emit(std::string_view(at, static_cast<std::size_t>(match - at)));
        emit(replacement);
        at = match + find.size();
    }
    while (searchOn && static_cast<std::size_t>(end - at) >= find.size()) {
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
    forEachPiece(content, find, replacement, {}, true,
                 [&](std::string_view piece) { out.append(piece); });
    return out;
}

std::uint64_t countMatches(std::string_view content, std::string_view find) {
    return scanMatches(content, find, nullptr);
}

std::uint64_t replacedSize(std::string_view content, std::string_view find,
                           std::string_view replacement) {
    const std::uint64_t matches = countMatches(content, find);
    // Each match gives back find's bytes and adds replacement's; never below zero.
    return content.size() - matches * find.size() + matches * replacement.size();
}

void emitReplaced(std::string_view content, std::string_view find, std::string_view replacement,
                  platform::SliceSink& sink) {
    forEachPiece(content, find, replacement, {}, true,
                 [&](std::string_view piece) { sink.put(piece); });
}

void ReplaceInFile(const std::filesystem::path& path, std::string_view find,
                   std::string_view replacement) {
    try {
        platform::InputFile file(path, platform::InputFile::Purpose::Rewrite);
        const platform::Bytes bytes = file.readAll();
        const std::string_view content = bytes.view();
        std::vector<std::size_t> known;
        const std::uint64_t matches = scanMatches(content, find, &known);
        const std::uint64_t size =
            content.size() - matches * find.size() + matches * replacement.size();
        const platform::Producer produce = [&](platform::SliceSink& sink) {
            forEachPiece(content, find, replacement, known, matches > known.size(),
                         [&](std::string_view piece) { sink.put(piece); });
        };
        platform::rewriteFile(file, size, produce, content);
    } catch (const std::bad_alloc&) {
        // Nothing has been written yet, or the writer has already put the old content back.
        platform::failWith("not enough memory", path, ENOMEM);
    }
}

}  // namespace qm::replace
