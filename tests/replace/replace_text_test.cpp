// The replacement over bytes, in memory and through a rewritten file.
#include "replace/replace_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "support/temp_dir.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string replaced(std::string_view content, std::string_view find, std::string_view with) {
    struct : platform::SliceSink {
        std::string out;
        void put(std::string_view bytes) override { out.append(bytes); }
    } sink;
    replaceAll(content, find, with, sink);
    return sink.out;
}

void replaceInFile(const fs::path& file, std::string_view find, std::string_view with) {
    ReplaceInFile(file, find, with).commit();
}

// Straightforward reference: compare at every position, skip behind each match.
std::string naiveReplace(const std::string& content, const std::string& find,
                         const std::string& replacement) {
    std::string out;
    for (std::size_t i = 0; i < content.size();) {
        const bool match = !find.empty() && content.compare(i, find.size(), find) == 0;
        out += match ? replacement : content.substr(i, 1);
        i += match ? find.size() : 1;
    }
    return out;
}

TEST(ReplaceText, edgeCases_sameResultInMemoryAndInTheRewrittenFile) {
    struct Case {
        const char* name;
        std::string content, find, replacement, expected;
    };
    const Case cases[] = {
        {"caseSensitive", "ABC abc", "abc", "x", "ABC x"},
        {"nonOverlapping", "aaaa a aaa", "aa", "X", "XX a Xa"},
        {"insertedTextNotRescanned", "a", "a", "aa", "aa"},
        {"emptyReplacementDeletes", "xb/yb/", "b/", "", "xy"},
        {"emptyFindLeavesContent", "abc", "", "x", "abc"},
        {"noMatch", "hello", "xyz", "q", "hello"},
        {"emptyContentStaysEmpty", "", "a", "b", ""},
        {"byteOrderMarkKept", "\xEF\xBB\xBFold old", "old", "new", "\xEF\xBB\xBFnew new"},
        {"lineBreaksKept", "a\r\nb\rc\nd\r\n", "b", "B", "a\r\nB\rc\nd\r\n"},
        {"invalidUtf8Kept", "\xFF\xFEold\xC3", "old", "n\xC3\xA9w", "\xFF\xFEn\xC3\xA9w\xC3"},
        {"nulBytesKept", "a\0b\0old"s, "old", "new", "a\0b\0new"s},
        {"manySlicesBeyondOneBatch", std::string(5000, 'a') + "b", "a", "", "b"},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(replaced(c.content, c.find, c.replacement), c.expected);
        const auto file = dir / c.name;
        test::writeBytes(file, c.content);
        const auto before = fs::last_write_time(file) - std::chrono::seconds(10);
        fs::last_write_time(file, before);
        replaceInFile(file, c.find, c.replacement);
        EXPECT_EQ(test::readBytes(file), c.expected);  // nothing appended, nothing recoded
        EXPECT_GT(fs::last_write_time(file), before);  // rewritten even when nothing matched
    }
}

// Random bytes over a small alphabet, so that matches, near-matches and runs are common.
std::string randomBytes(std::mt19937& rng, std::size_t maxLength) {
    static const char alphabet[] = {'a', 'b', '\0', '\xFF', '\r', '\n'};
    std::string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), ' ');
    for (char& c : s) c = alphabet[rng() % sizeof alphabet];
    return s;
}

TEST(ReplaceText, randomBytes_agreeWithNaiveReference) {
    std::mt19937 rng(20240607);
    for (int i = 0; i < 5000; ++i) {
        const std::string content = randomBytes(rng, 80);
        const std::string find = randomBytes(rng, 4);
        const std::string replacement = randomBytes(rng, 5);
        ASSERT_EQ(replaced(content, find, replacement), naiveReplace(content, find, replacement))
            << i;
    }
}

}  // namespace
}  // namespace qm::replace
