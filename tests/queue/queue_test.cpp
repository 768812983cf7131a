// The open dialog's selection and the folder import, over an in-memory list, dialogs and boxes
// and real folders.

#include <gtest/gtest.h>

#include "queue/add_files.h"
#include "queue/add_folder.h"
#include "support/fakes.h"
#include "support/file_checks.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::Strings;

// Each selection is taken twice after one earlier row: the rows come after it, in order, and
// the same files chosen again are queued again, each with "Queued".
TEST(AddFiles, selectionIsSplitAtEveryNulAndQueuedInOrder) {
    const std::pair<std::string, Strings> cases[] = {
        {"/docs/new page.htm", {"/docs/new page.htm"}},  // one file, even one that is not there
        {"/docs\0c.htm\0a.htm\0b.html"s, {"/docs/c.htm", "/docs/a.htm", "/docs/b.html"}},
        {"/\0a.htm\0b.htm"s, {"/a.htm", "/b.htm"}},    // a root folder keeps one separator
        {"/d\xff\0n\xe9.htm"s, {"/d\xff/n\xe9.htm"}},  // bytes that are not UTF-8
        {"", {}},                                      // nothing chosen
    };
    for (const auto& [selection, rows] : cases) {
        test::FakeList list;
        queue::FileQueue q(list);
        q.append("/earlier.htm", queue::kQueued);
        test::FakeDialogs dialogs;
        dialogs.selection = selection;
        queue::addFilesFromDialog(q, dialogs);
        queue::addFilesFromDialog(q, dialogs);
        Strings expected{"/earlier.htm"};
        for (int twice = 0; twice < 2; ++twice)
            expected.insert(expected.end(), rows.begin(), rows.end());
        EXPECT_EQ(list.column(false), expected);
        EXPECT_EQ(list.column(true), Strings(expected.size(), "Queued"));
    }
}

// Makes the files of a space-separated list below root; "name->target" makes a symbolic link,
// "name|" a FIFO; "+" stands for a space in a name.
void makeTree(const fs::path& root, const std::string& entries) {
    for (auto e : test::split(entries)) {
        std::replace(e.begin(), e.end(), '+', ' ');
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

// Imports the tree below folder through the real listing (the window's tests go through the
// folder dialog), answering each question with the next of answers
// (Y, N or C) and noting its text in asked; returns the rows' paths below folder, in order, with
// "+" for a space.
Strings import(const fs::path& folder, const std::string& answers, Strings& asked,
               std::function<void()> whileAsked = {}) {
    test::FakeList list;
    queue::FileQueue queue{list};
    test::FakeBoxes boxes;
    boxes.answers = answers;
    boxes.onShow = std::move(whileAsked);
    files::PosixDirListing listing;
    queue::importFolderTree(queue, folder, boxes, listing);
    asked = boxes.shown;
    Strings rows;
    for (const auto& row : list.rows) {
        EXPECT_EQ(row.status, "");  // imported rows carry no status
        EXPECT_EQ(row.filename.native().find("//"), std::string::npos) << row.filename;
        rows.push_back(row.filename.lexically_relative(folder).native());
        std::replace(rows.back().begin(), rows.back().end(), ' ', '+');
    }
    return rows;
}

TEST(ImportFolder, treesAndAnswers_rowsInOrderQuestionsAsked) {
    const std::string example = "a.htm b.HTML ~c.htm d.txt sub/e.html";
    // The extension test is case-sensitive and looks anywhere in the name.
    const std::string mixed = "readme notes.txt.old a.htm.bak INDEX.HTM s/q";
    struct Case {
        const char* name;
        const char* answers;  // Y, N or C to each question in turn
        const char* rows;     // queued, in order
        const char* asked;    // the names asked about
        std::string tree;     // as makeTree makes it
    };
    const Case cases[] = {
        {"example, Yes", "Y", "a.htm b.HTML d.txt sub/e.html", "b.HTML", example},
        {"No skips one file", "NYY", "a.htm.bak notes.txt.old readme s/q", "INDEX.HTM readme q",
         mixed},
        {"Cancel at the second question", "YC", "a.htm.bak INDEX.HTM notes.txt.old",
         "INDEX.HTM readme", mixed},
        // Level by level in folded order; "A" and "a" differ only in case: the bytes decide.
        {"hidden files are taken, hidden folders not", "",
         ".h.htm _.htm A.htm a.htm b.htm a/x.htm B/y.htm a/deep/z.htm", "",
         "b.htm B/y.htm a/deep/z.htm a/x.htm A.htm a.htm _.htm .h.htm .git/c.htm a/.cache/in.htm"},
        {"letters folded, a name before the longer names it begins", "",
         "a.htm a.htm.txt Ab.htm b.txt y.htm Z.htm", "",
         "Z.htm y.htm b.txt Ab.htm a.htm.txt a.htm"},
        // Only regular files and links to them; links to folders are never entered.
        {"links, a loop and a FIFO", "", "a.htm link.htm sub/b.htm sub/far.htm", "",
         "a.htm sub/b.htm ../foreign.htm sub/loop->.. out->.. link.htm->a.htm "
         "dangling.htm->missing.htm sub/far.htm->../../foreign.htm page.htm|"},
        {"non-UTF-8 names keep their bytes", "Y", "\x80\x81 d\xff/\xe9t\xe9.htm", "\x80\x81",
         "d\xff/\xe9t\xe9.htm \x80\x81"},
        {"a folder that does not exist", "", "", "", ""},
        {"the program's backups are passed over", "", "a.htm a.htm+BACKUP.htm.old BACKUP.htm", "",
         "a.htm a.htm+BACKUP.htm d.txt+BACKUP.htm a.htm+BACKUP.htm.old BACKUP.htm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir tmp;
        makeTree(tmp / "in", c.tree);
        Strings asked, expected = test::split(c.asked);
        // Given with a final separator, as the root folder is: names follow it without another.
        EXPECT_EQ(import(tmp / "in" / "", c.answers, asked), test::split(c.rows));
        for (auto& name : expected)
            name +=
                " is not a .htm .html or .txt file. Do you want to load it into the list of "
                "files to extract from?";
        EXPECT_EQ(asked, expected);
    }
}

// Folders that cannot be read, vanish or stop being folders while a question is up are passed
// over; a folder that gains a file is read afresh. Run as an ordinary user (nobody, when the
// tests run as root), since root reads every folder.
TEST(ImportFolder, unreadableOrChangedFolders_arePassedOverOrReadAfresh) {
    const test::TempDir tmp;
    makeTree(tmp.path(),
             "a.htm locked/in.htm locked/deep/x.htm noexec/c.htm z/b.htm q.bin "
             "gone/a.htm swapped/b.htm stays/c.htm");
    // Nobody's tree where the tests run as root; a user's own tree stays theirs.
    static_cast<void>(::chown(tmp.path().c_str(), 65534, 65534) == 0);
    for (const auto& entry : fs::recursive_directory_iterator(tmp.path()))
        static_cast<void>(::chown(entry.path().c_str(), 65534, 65534) == 0);
    ::chmod((tmp / "locked").c_str(), 0);
    ::chmod((tmp / "noexec").c_str(), 0644);  // names readable, files out of reach
    const auto change = [&] {
        fs::remove_all(tmp / "gone");
        fs::remove_all(tmp / "swapped");
        test::writeBytes(tmp / "swapped", "now a file");
        test::writeBytes(tmp / "stays" / "new.htm", "x");
    };
    const Strings expected = test::split("a.htm q.bin stays/c.htm stays/new.htm z/b.htm");
    Strings asked;
    EXPECT_EQ(test::runAs(::geteuid() == 0 ? 65534 : ::geteuid(),
                          [&] { return int{import(tmp.path(), "Y", asked, change) == expected}; }),
              1);
}

}  // namespace
}  // namespace qm
