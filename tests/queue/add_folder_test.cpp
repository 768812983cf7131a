#include "queue/add_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/fakes.h"
#include "support/file_checks.h"
#include "support/temp_dir.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The names of a space-separated list.
Names split(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

// Makes the files of a space-separated list below root; "name->target" makes a
// symbolic link, "name|" a FIFO.
void makeTree(const fs::path& root, const std::string& entries) {
    for (const auto& e : split(entries)) {
        const auto arrow = e.find("->");
        const fs::path p = root / e.substr(0, std::min(arrow, e.find('|')));
        fs::create_directories(p.parent_path());
        if (arrow != std::string::npos)
            fs::create_symlink(e.substr(arrow + 2), p);
        else if (e.back() == '|')
            ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
        else
            test::writeBytes(p, "x");
    }
}

struct Import {
    test::FakeList list;
    queue::FileQueue queue{list};
    test::FakeDialogs dialogs;
    test::FakeBoxes boxes;

    // Imports folder answering Y, N or C to each question in turn; returns the
    // rows' paths below folder, in order.
    Names run(const fs::path& folder, std::string_view answers = "",
              platform::DirListing* listing = nullptr) {
        using enum platform::Answer;
        for (char a : answers) boxes.answers.push_back(a == 'Y' ? Yes : a == 'N' ? No : Cancel);
        dialogs.folder = folder;
        platform::PosixDirListing posix;
        queue::importFolder(queue, dialogs, boxes, listing ? *listing : posix);
        EXPECT_EQ(dialogs.asked, Names{"Please select folder to add:"});
        const std::string base = (folder / "").native();
        Names rows;
        for (const auto& row : list.rows) {
            EXPECT_EQ(row.status, "");  // imported rows carry no status
            const std::string& p = row.filename.native();
            rows.push_back(p.starts_with(base) ? p.substr(base.size()) : p);
        }
        return rows;
    }
};

TEST(ImportFolder, treesAndAnswers_rowsInOrderQuestionsAsked) {
    struct Case {
        const char *what, *answers, *rows, *asked;
        std::string tree;
    };
    const std::string example = "a.htm b.HTML ~c.htm d.txt sub/e.html";
    // The extension test is case-sensitive and looks anywhere in the name.
    const std::string mixed = "readme notes.txt.old a.htm.bak INDEX.HTM s/q";
    std::string many = "1000.htm";
    for (int i = 1001; i < 1251; ++i) many += " " + std::to_string(i) + ".htm";
    const Case cases[] = {
        {"example, Yes", "Y", "a.htm b.HTML d.txt sub/e.html", "b.HTML", example},
        {"example, No", "N", "a.htm d.txt sub/e.html", "b.HTML", example},
        {"example, Cancel", "C", "a.htm", "b.HTML", example},
        {"No skips one file", "NYY", "a.htm.bak notes.txt.old readme s/q", "INDEX.HTM readme q",
         mixed},
        {"Cancel at the second question", "YC", "a.htm.bak INDEX.HTM notes.txt.old",
         "INDEX.HTM readme", mixed},
        {"more than a hundred files in one folder", "", many.c_str(), "", many},
        // Level by level in folded order; "A" and "a" differ only in case: the bytes decide.
        {"hidden files are taken, hidden folders not", "",
         ".h.htm _.htm A.htm a.htm b.htm a/x.htm B/y.htm a/deep/z.htm", "",
         "b.htm B/y.htm a/deep/z.htm a/x.htm A.htm a.htm _.htm .h.htm .git/c.htm a/.cache/in.htm"},
        // Only regular files and links to them; links to folders are never entered.
        {"links, a loop and a FIFO", "", "a.htm link.htm sub/b.htm sub/far.htm", "",
         "a.htm sub/b.htm ../foreign.htm sub/loop->.. out->.. link.htm->a.htm "
         "dangling.htm->missing.htm sub/far.htm->../../foreign.htm page.htm|"},
        {"non-UTF-8 names keep their bytes", "Y", "\x80\x81 d\xff/\xe9t\xe9.htm", "\x80\x81",
         "d\xff/\xe9t\xe9.htm \x80\x81"},
        {"a folder that does not exist", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir tmp;
        makeTree(tmp / "in", c.tree);
        Import imp;
        EXPECT_EQ(imp.run(tmp / "in", c.answers), split(c.rows));
        Names asked = split(c.asked), shown;
        for (auto& name : asked) name += queue::kNotTextQuestion;
        for (const auto& box : imp.boxes.shown) {
            EXPECT_EQ(box.buttons, platform::Buttons::YesNoCancel);
            shown.push_back(box.text);
        }
        EXPECT_EQ(shown, asked);
    }
}

// Run as an ordinary user, since root reads every folder.
TEST(ImportFolder, unreadableFoldersArePassedOver) {
    test::TempDir tmp;
    ::chmod(tmp.path().c_str(), 0755);
    makeTree(tmp.path(), "a.htm locked/in.htm locked/deep/x.htm noexec/c.htm z/b.htm");
    ::chmod((tmp / "locked").c_str(), 0);
    ::chmod((tmp / "noexec").c_str(), 0644);  // names readable, files out of reach
    EXPECT_EQ(
        test::runAs(65534, [&] { return int{Import().run(tmp.path()) == split("a.htm z/b.htm")}; }),
        1);
}

// Holds as root too: folders that vanish or stop being folders cannot be listed.
TEST(ImportFolder, foldersChangedWhileAQuestionIsUp_arePassedOverOrReadAfresh) {
    test::TempDir tmp;
    makeTree(tmp.path(), "q.bin gone/a.htm swapped/b.htm stays/c.htm");
    Import imp;
    imp.boxes.onShow = [&] {
        fs::remove_all(tmp / "gone");
        fs::remove_all(tmp / "swapped");
        test::writeBytes(tmp / "swapped", "now a file");
        test::writeBytes(tmp / "stays" / "new.htm", "x");
    };
    EXPECT_EQ(imp.run(tmp.path(), "Y"), split("q.bin stays/c.htm stays/new.htm"));
}

// A listing from a table, for trees that cannot be made in a temporary folder.
struct TableListing : platform::DirListing {
    std::map<std::string, std::vector<platform::DirEntry>> folders;
    std::vector<platform::DirEntry> list(const fs::path& folder) override {
        return folders[folder.native()];
    }
};

TEST(ImportFolder, rootFolderKeepsOneSeparator_cancelledPickerAddsNothing) {
    using enum platform::EntryKind;
    TableListing listing;
    for (const std::string base : {"/", "/srv/"}) {
        listing.folders[base] = {{"a.htm", File}, {"sub", Folder}, {"c.bin", File}};
        listing.folders[base + "sub/"] = {{"e.htm", File}};
    }
    for (const std::string chosen : {"/", "/srv/", "/srv", ""}) {
        SCOPED_TRACE(chosen);
        Import imp;
        std::vector<std::size_t> rowsWhileAsked;  // rows are shown before each question
        imp.boxes.onShow = [&] { rowsWhileAsked.push_back(imp.list.rows.size()); };
        EXPECT_EQ(imp.run(chosen, "Y", &listing),
                  split(chosen.empty() ? "" : "a.htm c.bin sub/e.htm"));
        EXPECT_EQ(rowsWhileAsked, std::vector<std::size_t>(chosen.empty() ? 0 : 1, 1));
    }
}

}  // namespace
}  // namespace qm
