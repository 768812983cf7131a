#include "queue/add_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "support/fakes.h"
#include "support/temp_dir.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using platform::Answer;
using platform::EntryKind;

// One import of a real folder tree with scripted answers.
struct Import {
    test::FakeList list;
    queue::FileQueue queue{list};
    test::FakeDialogs dialogs;
    test::FakeBoxes boxes;

    void run(const fs::path& folder, std::deque<Answer> answers = {}) {
        dialogs.folder = folder;
        boxes.answers = std::move(answers);
        queue::importFolder(queue, dialogs, boxes);
    }
    // Paths of the rows relative to root, in queue order; every row has no status.
    std::vector<std::string> rows(const fs::path& root) const {
        std::vector<std::string> out;
        for (const auto& row : list.rows) {
            EXPECT_EQ(row.status, "");
            const std::string& p = row.filename.native();
            const std::string prefix = root.native() + "/";
            EXPECT_EQ(p.compare(0, prefix.size(), prefix), 0) << p;
            out.push_back(p.substr(prefix.size()));
        }
        return out;
    }
    std::vector<std::string> questions() const {
        std::vector<std::string> out;
        for (const auto& box : boxes.shown) {
            EXPECT_EQ(box.buttons, platform::Buttons::YesNoCancel);
            const std::string tail(queue::kNotTextQuestion);
            EXPECT_EQ(box.text.substr(box.text.size() - tail.size()), tail);
            out.push_back(box.text.substr(0, box.text.size() - tail.size()));
        }
        return out;
    }
};

void touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    test::writeBytes(p, "x");
}

void makeTree(const fs::path& root, const std::vector<std::string>& files) {
    fs::create_directories(root);
    for (const auto& f : files) touch(root / f);
}

TEST(ImportFolder, exampleTree_eachAnswerToTheQuestion) {
    struct Case {
        Answer answer;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {Answer::Yes, {"a.htm", "b.HTML", "d.txt", "sub/e.html"}},
        {Answer::No, {"a.htm", "d.txt", "sub/e.html"}},
        {Answer::Cancel, {"a.htm"}},
    };
    test::TempDir tmp;
    makeTree(tmp.path(), {"a.htm", "b.HTML", "~c.htm", "d.txt", "sub/e.html"});
    for (const auto& c : cases) {
        Import imp;
        imp.run(tmp.path(), {c.answer});
        EXPECT_EQ(imp.rows(tmp.path()), c.rows);
        EXPECT_EQ(imp.questions(), std::vector<std::string>{"b.HTML"});
        EXPECT_EQ(imp.dialogs.prompts, std::vector<std::string>{"Please select folder to add:"});
    }
}

TEST(ImportFolder, answersSkipOneFileOrEndTheImport) {
    struct Case {
        std::deque<Answer> answers;
        std::vector<std::string> rows;
        std::size_t questions;
    };
    const Case cases[] = {
        {{Answer::Yes, Answer::Yes, Answer::Yes},
         {"a.htm", "q1.bin", "q2.DAT", "z.txt", "s/q3"},
         3},
        {{Answer::No, Answer::Yes, Answer::Yes}, {"a.htm", "q2.DAT", "z.txt", "s/q3"}, 3},
        {{Answer::Yes, Answer::Cancel}, {"a.htm", "q1.bin"}, 2},
        {{Answer::No, Answer::No, Answer::No}, {"a.htm", "z.txt"}, 3},
    };
    test::TempDir tmp;
    makeTree(tmp.path(), {"q2.DAT", "a.htm", "z.txt", "q1.bin", "s/q3"});
    for (const auto& c : cases) {
        Import imp;
        imp.run(tmp.path(), c.answers);
        EXPECT_EQ(imp.rows(tmp.path()), c.rows);
        EXPECT_EQ(imp.boxes.shown.size(), c.questions);
    }
}

TEST(ImportFolder, extensionTestIsCaseSensitiveAnywhereInTheName) {
    struct Case {
        const char* name;
        bool passes;
    };
    const Case cases[] = {
        {"page.htm", true},      {"page.html", true}, {"notes.txt", true},  {"page.htm.bak", true},
        {"notes.txt.old", true}, {"x.htmx", true},    {"INDEX.HTM", false}, {"readme", false},
        {"a.TXT", false},        {"htm", false},      {"page_htm", false},
    };
    for (const auto& c : cases) EXPECT_EQ(queue::looksLikeText(c.name), c.passes) << c.name;
}

TEST(ImportFolder, treeIsWalkedLevelByLevelInFoldedNameOrder) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"b.htm", "B/y.htm", "a/deep/z.htm", "a/x.htm", "C.htm", "A.htm", "a.htm",
                          "_.htm", "a/Deep2/w.htm", "b/deeper/v.htm"});
    Import imp;
    imp.run(tmp.path());
    // "A" and "a" differ only in case: the bytes decide ("A" first).
    EXPECT_EQ(
        imp.rows(tmp.path()),
        (std::vector<std::string>{"_.htm", "A.htm", "a.htm", "b.htm", "C.htm", "a/x.htm", "B/y.htm",
                                  "a/deep/z.htm", "a/Deep2/w.htm", "b/deeper/v.htm"}));
    EXPECT_TRUE(imp.boxes.shown.empty());
}

TEST(ImportFolder, hiddenFilesAreOfferedHiddenFoldersNeverEntered) {
    test::TempDir tmp;
    makeTree(tmp.path(),
             {".h.htm", ".profile", "v.htm", ".git/config.htm", "sub/.x.txt", "sub/.cache/in.htm"});
    Import imp;
    imp.run(tmp.path(), {Answer::Yes});
    EXPECT_EQ(imp.rows(tmp.path()),
              (std::vector<std::string>{".h.htm", ".profile", "v.htm", "sub/.x.txt"}));
    EXPECT_EQ(imp.questions(), std::vector<std::string>{".profile"});
}

TEST(ImportFolder, folderOfMoreThanAHundredFilesYieldsThemAllInOrder) {
    test::TempDir tmp;
    std::vector<std::string> names;
    for (int i = 0; i < 251; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d.htm", i);
        names.push_back(name);
    }
    makeTree(tmp.path(), names);
    Import imp;
    imp.run(tmp.path());
    EXPECT_EQ(imp.rows(tmp.path()), names);
    EXPECT_EQ(imp.list.appendCalls, 1);  // one step per folder
}

TEST(NameArray, growsByFiftyFromAHundredAndEndsCutToTheNames) {
    struct Case {
        int names;
        std::int32_t upperBeforeFinish, lower, upper;
    };
    const Case cases[] = {
        {0, 100, 0, 0},     {1, 100, 1, 1},     {100, 100, 1, 100},    {101, 150, 1, 101},
        {150, 150, 1, 150}, {151, 200, 1, 151}, {1000, 1000, 1, 1000},
    };
    for (const auto& c : cases) {
        queue::NameArray a;
        for (int i = 1; i <= c.names; ++i) a.add("n" + std::to_string(i));
        EXPECT_EQ(a.upper(), c.upperBeforeFinish) << c.names;
        a.finish();
        EXPECT_EQ(a.lower(), c.lower) << c.names;
        EXPECT_EQ(a.upper(), c.upper) << c.names;
        for (int i = 1; i <= c.names; ++i) {
            ASSERT_EQ(a[i], "n" + std::to_string(i));
        }
        if (c.names == 0) {
            EXPECT_EQ(a[0], "");
        }
        EXPECT_THROW(a[c.upper + 1], std::out_of_range);
    }
}

TEST(ListFolderFiles, patternSelectsNamesAndFoldersAreLeftOut) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"a.htm", "noext", "b.txt", "sub/c.htm"});
    platform::PosixDirListing listing;
    struct Case {
        const char* pattern;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*.*", {"a.htm", "b.txt", "noext"}},
        {"*", {"a.htm", "b.txt", "noext"}},
        {"*.htm", {"a.htm"}},
        {"?.t*", {"b.txt"}},
        {"*.zip", {}},
    };
    for (const auto& c : cases) {
        for (const fs::path& folder : {tmp.path(), tmp.path() / ""}) {
            const auto a = queue::ListFolderFiles(folder, c.pattern, listing);
            std::vector<std::string> got;
            for (std::int32_t i = 1; i <= a.upper(); ++i) got.push_back(a[i]);
            EXPECT_EQ(got, c.names) << c.pattern;
        }
    }
}

TEST(ImportFolder, symbolicLinksToFoldersAreNotFollowedLinksToFilesAre) {
    test::TempDir tmp, outside;
    const fs::path root = tmp / "root";
    makeTree(root, {"a.htm", "sub/b.htm"});
    makeTree(outside.path(), {"foreign.htm"});
    fs::create_directory_symlink("..", root / "sub" / "loop");
    fs::create_directory_symlink(root, root / "self");
    fs::create_directory_symlink(outside.path(), root / "out");
    fs::create_symlink("a.htm", root / "link.htm");
    fs::create_symlink("missing.htm", root / "dangling.htm");
    fs::create_symlink(outside / "foreign.htm", root / "sub" / "far.htm");
    Import imp;
    imp.run(root);
    EXPECT_EQ(imp.rows(root),
              (std::vector<std::string>{"a.htm", "link.htm", "sub/b.htm", "sub/far.htm"}));
    EXPECT_TRUE(imp.boxes.shown.empty());
}

TEST(ImportFolder, onlyRegularFilesAreQueued) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"a.htm"});
    ASSERT_EQ(::mkfifo((tmp / "page.htm").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);
    Import imp;
    imp.run(tmp.path());
    EXPECT_EQ(imp.rows(tmp.path()), std::vector<std::string>{"a.htm"});
    EXPECT_TRUE(imp.boxes.shown.empty());
}

TEST(ImportFolder, unreadableFolderIsPassedOver) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    test::TempDir tmp;
    makeTree(tmp.path(),
             {"a.htm", "locked/in.htm", "locked/deep/x.htm", "open/b.htm", "noexec/c.htm"});
    ::chmod((tmp / "locked").c_str(), 0);
    ::chmod((tmp / "noexec").c_str(), 0600);  // listed, but its entries cannot be reached
    Import imp;
    imp.run(tmp.path());
    EXPECT_EQ(imp.rows(tmp.path()), (std::vector<std::string>{"a.htm", "open/b.htm"}));
}

TEST(ImportFolder, folderReplacedWhileTheImportRunsIsPassedOver) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"q.bin", "gone/a.htm", "swapped/b.htm", "stays/c.htm"});
    Import imp;
    // The tree is gathered before the first question; while it is up, one
    // folder vanishes and another becomes a file.
    imp.boxes.onShow = [&](std::size_t) {
        fs::remove_all(tmp / "gone");
        fs::remove_all(tmp / "swapped");
        test::writeBytes(tmp / "swapped", "now a file");
    };
    imp.run(tmp.path(), {Answer::Yes});
    EXPECT_EQ(imp.rows(tmp.path()), (std::vector<std::string>{"q.bin", "stays/c.htm"}));
}

TEST(ImportFolder, chosenPathThatIsNoFolderOrNothingAddsNothing) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"file.htm"});
    for (const fs::path& chosen : {fs::path(), tmp / "file.htm", tmp / "missing"}) {
        Import imp;
        imp.run(chosen);
        EXPECT_TRUE(imp.list.rows.empty()) << chosen;
        EXPECT_TRUE(imp.boxes.shown.empty()) << chosen;
        EXPECT_EQ(imp.list.appendCalls, 0) << chosen;
    }
}

TEST(ImportFolder, nonUtf8NamesKeepTheirBytes) {
    test::TempDir tmp;
    const std::string folder = "d\xff", file = "\xe9t\xe9.htm", odd = "\x80\x81";
    makeTree(tmp.path(), {folder + "/" + file, odd});
    Import imp;
    imp.run(tmp.path(), {Answer::Yes});
    EXPECT_EQ(imp.rows(tmp.path()), (std::vector<std::string>{odd, folder + "/" + file}));
    EXPECT_EQ(imp.questions(), std::vector<std::string>{odd});
}

// A listing from a table, for trees that cannot be made in a temporary folder.
class TableListing : public platform::DirListing {
public:
    std::map<std::string, std::vector<platform::DirEntry>> folders;
    std::vector<std::string> asked;
    std::vector<platform::DirEntry> list(const fs::path& folder) override {
        asked.push_back(folder.native());
        const auto it = folders.find(folder.native());
        return it == folders.end() ? std::vector<platform::DirEntry>{} : it->second;
    }
};

TEST(ImportFolder, rootFolderKeepsOneSeparator) {
    for (const char* chosen : {"/", "/srv/", "/srv"}) {
        const std::string base = std::string(chosen) == "/" ? "/" : "/srv/";
        TableListing listing;
        listing.folders[base] = {{"a.htm", EntryKind::File}, {"sub", EntryKind::Folder}};
        listing.folders[base + "sub/"] = {{"e.htm", EntryKind::File}};
        Import imp;
        imp.dialogs.folder = chosen;
        queue::importFolder(imp.queue, imp.dialogs, imp.boxes, listing);
        std::vector<std::string> rows;
        for (const auto& r : imp.list.rows) rows.push_back(r.filename.native());
        EXPECT_EQ(rows, (std::vector<std::string>{base + "a.htm", base + "sub/e.htm"})) << chosen;
        // Each folder is read once when no question comes between.
        EXPECT_EQ(listing.asked, (std::vector<std::string>{base, base + "sub/"})) << chosen;
    }
}

TEST(ImportFolder, pendingRowsAreShownBeforeEachQuestion) {
    TableListing listing;
    listing.folders["/t/"] = {
        {"c.htm", EntryKind::File}, {"b.bin", EntryKind::File}, {"a.htm", EntryKind::File}};
    Import imp;
    imp.dialogs.folder = "/t";
    std::vector<std::size_t> rowsWhileAsked;
    imp.boxes.onShow = [&](std::size_t) { rowsWhileAsked.push_back(imp.list.rows.size()); };
    imp.boxes.answers = {Answer::Yes};
    queue::importFolder(imp.queue, imp.dialogs, imp.boxes, listing);
    EXPECT_EQ(rowsWhileAsked, std::vector<std::size_t>{1});
    ASSERT_EQ(imp.list.rows.size(), 3u);
    EXPECT_EQ(imp.list.rows[1].filename, "/t/b.bin");
}

TEST(PosixDirListing, reportsWhatEachEntryIs) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"file", "dir/x"});
    ::mkfifo((tmp / "fifo").c_str(), 0600);
    fs::create_symlink("file", tmp / "to-file");
    fs::create_directory_symlink("dir", tmp / "to-dir");
    fs::create_symlink("nowhere", tmp / "dangling");
    fs::create_symlink("fifo", tmp / "to-fifo");
    platform::PosixDirListing listing;
    std::map<std::string, EntryKind> got;
    for (const auto& e : listing.list(tmp.path())) got[e.name] = e.kind;
    const std::map<std::string, EntryKind> expected = {
        {"file", EntryKind::File},    {"dir", EntryKind::Folder},   {"fifo", EntryKind::Other},
        {"to-file", EntryKind::File}, {"to-dir", EntryKind::Other}, {"to-fifo", EntryKind::Other},
    };
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(listing.list(tmp / "file").empty());
    EXPECT_TRUE(listing.list(tmp / "missing").empty());
}

}  // namespace
}  // namespace qm
