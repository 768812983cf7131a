#include "replace/replace_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qm::replace {
namespace {

using namespace std::string_literals;

// Straightforward reference: compare at every position, skip behind each match.
std::string naiveReplace(const std::string& content, const std::string& find,
                         const std::string& replacement) {
    if (find.empty())
        return content;
    std::string out;
    std::size_t i = 0;
    while (i < content.size()) {
        if (content.compare(i, find.size(), find) == 0) {
            out += replacement;
            i += find.size();
        } else {
            out += content[i++];
        }
    }
    return out;
}

struct Case {
    const char* name;
    std::string content, find, replacement, expected;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"caseSensitive", "ABC abc", "abc", "x", "ABC x"},
        {"nonOverlapping", "aaaa a aaa", "aa", "X", "XX a Xa"},
        {"insertedTextNotRescanned", "a", "a", "aa", "aa"},
        {"emptyReplacementDeletes", "xb/yb/", "b/", "", "xy"},
        {"emptyFindLeavesContent", "abc", "", "x", "abc"},
        {"emptyContentStaysEmpty", "", "a", "b", ""},
        {"noMatch", "hello", "xyz", "q", "hello"},
        {"matchAtBothEnds", "abXab", "ab", "-", "-X-"},
        {"byteOrderMarkKept", "\xEF\xBB\xBFold old", "old", "new", "\xEF\xBB\xBFnew new"},
        {"lineBreaksKept", "a\r\nb\rc\nd\r\n", "b", "B", "a\r\nB\rc\nd\r\n"},
        {"crLfCanBeFound", "a\r\nb", "\r\n", "\n", "a\nb"},
        {"invalidUtf8Kept", "\xFF\xFEold\xC3", "old", "n\xC3\xA9w", "\xFF\xFEn\xC3\xA9w\xC3"},
        {"nulBytesKept", "a\0b\0old"s, "old", "new", "a\0b\0new"s},
        {"nulInFindText", "x\0y x"s, "\0y"s, "Y", "xY x"},
        {"utf8TextAsBytes", "caf\xC3\xA9 cafe", "caf\xC3\xA9", "bar", "bar cafe"},
        {"manySlicesBeyondOneBatch", std::string(5000, 'a') + "b", "a", "", "b"},
        {"moreMatchesThanRemembered", std::string(1100000, 'a'), "a", "b",
         std::string(1100000, 'b')},
        {"growsManyTimes", std::string(3000, 'x'), "x", "yy", std::string(6000, 'y')},
    };
    return all;
}

TEST(ReplaceAll, tableOfEdgeCases_matchesExpected) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(replaceAll(c.content, c.find, c.replacement), c.expected);
        EXPECT_EQ(replacedSize(c.content, c.find, c.replacement), c.expected.size());
    }
}

TEST(ReplaceInFile, tableOfEdgeCases_fileHoldsExactlyTheResult) {
    test::TempDir dir;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const auto file = dir / (std::string(c.name) + ".htm");
        test::writeBytes(file, c.content);
        ReplaceInFile(file, c.find, c.replacement);
        EXPECT_EQ(test::readBytes(file), c.expected);  // nothing appended, nothing recoded
    }
}

// Random bytes over a small alphabet, so that matches, near-matches and runs are common.
std::string randomBytes(std::mt19937& rng, std::size_t maxLength) {
    static const char alphabet[] = {'a', 'b', '\0', '\xFF', '\r', '\n'};
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    std::string s(length(rng), ' ');
    for (char& c : s) c = alphabet[pick(rng)];
    return s;
}

TEST(ReplaceAll, randomBytes_agreeWithNaiveReference) {
    std::mt19937 rng(20240607);
    test::TempDir dir;
    for (int i = 0; i < 5000; ++i) {
        const std::string content = randomBytes(rng, 80);
        const std::string find = randomBytes(rng, 4);
        const std::string replacement = randomBytes(rng, 5);
        const std::string expected = naiveReplace(content, find, replacement);
        ASSERT_EQ(replaceAll(content, find, replacement), expected) << "case " << i;
        ASSERT_EQ(countMatches(content, find) * (replacement.size() - find.size()) + content.size(),
                  expected.size())
            << "case " << i;
        if (i % 25 == 0) {
            // The same case through the real file and the slice writer.
            const auto file = dir / ("r" + std::to_string(i));
            test::writeBytes(file, content);
            ReplaceInFile(file, find, replacement);
            ASSERT_EQ(test::readBytes(file), expected) << "file case " << i;
        }
    }
}

}  // namespace
}  // namespace qm::replace
