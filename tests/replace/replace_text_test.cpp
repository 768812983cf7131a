// The replacement over bytes, against a plain reference and through a rewritten file.
#include "replace/replace_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "support/file_checks.h"

namespace qm::replace {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Random bytes over a small alphabet, so that matches, near-matches and runs are common.
std::string randomBytes(std::mt19937& rng, std::size_t maxLength) {
    std::string s(rng() % (maxLength + 1), ' ');
    for (char& c : s) c = "abA\0\xFF\n"[rng() % 6];
    return s;
}

// The reference: compare at every position, skip behind each match.
TEST(ReplaceText, randomBytes_agreeWithAPlainReference) {
    std::mt19937 rng(20240607);
    for (int i = 0; i < 5000; ++i) {
        const std::string content = randomBytes(rng, 80), find = randomBytes(rng, 4),
                          replacement = randomBytes(rng, 5);
        std::string expected;
        for (std::size_t at = 0; at < content.size();) {
            const bool match = !find.empty() && content.compare(at, find.size(), find) == 0;
            expected += match ? replacement : content.substr(at, 1);
            at += match ? find.size() : 1;
        }
        struct : platform::SliceSink {
            std::string out;
            void put(std::string_view bytes) override { out.append(bytes); }
        } sink;
        replaceAll(content, find, replacement, sink);
        ASSERT_EQ(sink.out, expected) << i;
    }
}

// The file holds exactly the result, nothing appended or recoded, and is rewritten even when
// nothing matched; a file with a second name is rewritten in place, shorter or longer.
TEST(ReplaceText, edgeCases_throughTheFile) {
    const std::tuple<const char*, std::string, std::string, std::string, std::string> cases[] = {
        {"case-sensitive", "ABC abc", "abc", "x", "ABC x"},
        {"not overlapping", "aaaa a aaa", "aa", "X", "XX a Xa"},
        {"no match", "hello", "xyz", "q", "hello"},
        {"empty find", "abc", "", "x", "abc"},
        {"bytes kept", "\xEF\xBB\xBF\r\n\0old\xFF"s, "old", "n\xC3\xA9w",
         "\xEF\xBB\xBF\r\n\0n\xC3\xA9w\xFF"s},
        {"beyond one write batch", std::string(5000, 'a') + "b", "a", "", "b"},
        {"in place, shorter", "a long old text", "long old ", "", "a text"},
        {"in place, longer", "a text", "a", "a longer", "a longer text"},
    };
    test::TempDir dir;
    for (const auto& [what, content, find, replacement, expected] : cases) {
        const fs::path file = dir / what;
        test::writeBytes(file, content);
        if (std::string_view(what).starts_with("in place"))
            fs::create_hard_link(file, dir / (std::string(what) + " link"));
        const auto before = fs::last_write_time(file) - std::chrono::seconds(10);
        fs::last_write_time(file, before);
        ReplaceInFile(file, find, replacement).commit();
        EXPECT_EQ(test::readBytes(file), expected) << what;
        EXPECT_GT(fs::last_write_time(file), before) << what;
    }
}

}  // namespace
}  // namespace qm::replace
