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
using Names = std::vector<std::string>;

void makeTree(const fs::path& root, const Names& files) {
    for (const auto& f : files) {
        fs::create_directories((root / f).parent_path());
        test::writeBytes(root / f, "x");
    }
}

// One import with scripted answers, through the given listing or the real one.
struct Import {
    test::FakeList list;
    queue::FileQueue queue{list};
    test::FakeDialogs dialogs;
    test::FakeBoxes boxes;

    void run(const fs::path& folder, std::deque<Answer> answers = {},
             platform::DirListing* listing = nullptr) {
        dialogs.folder = folder;
        boxes.answers = std::move(answers);
        platform::PosixDirListing posix;
        queue::importFolder(queue, dialogs, boxes, listing ? *listing : posix);
    }
    // The rows' paths below root, in order; import rows carry no status.
    Names rows(const fs::path& root) const {
        Names out;
        for (const auto& row : list.rows) {
            EXPECT_EQ(row.status, "");
            out.push_back(row.filename.native().substr(root.native().size() + 1));
        }
        return out;
    }
    // The names asked about, each question checked for its form.
    Names asked() const {
        Names out;
        const std::string tail(queue::kNotTextQuestion);
        for (const auto& box : boxes.shown) {
            EXPECT_EQ(box.buttons, platform::Buttons::YesNoCancel);
            EXPECT_TRUE(box.text.ends_with(tail)) << box.text;
            out.push_back(box.text.substr(0, box.text.size() - tail.size()));
        }
        return out;
    }
};

TEST(ImportFolder, exampleTree_eachAnswerToTheQuestion) {
    const std::pair<Answer, Names> cases[] = {
        {Answer::Yes, {"a.htm", "b.HTML", "d.txt", "sub/e.html"}},
        {Answer::No, {"a.htm", "d.txt", "sub/e.html"}},
        {Answer::Cancel, {"a.htm"}},
    };
    test::TempDir tmp;
    makeTree(tmp.path(), {"a.htm", "b.HTML", "~c.htm", "d.txt", "sub/e.html"});
    for (const auto& [answer, rows] : cases) {
        Import imp;
        imp.run(tmp.path(), {answer});
        EXPECT_EQ(imp.rows(tmp.path()), rows);
        EXPECT_EQ(imp.asked(), Names{"b.HTML"});
        EXPECT_EQ(imp.dialogs.prompts, Names{"Please select folder to add:"});
    }
}

TEST(ImportFolder, noSkipsOneFileCancelEndsTheImport) {
    struct Case {
        std::deque<Answer> answers;
        Names rows, asked;
    };
    // The extension test is case-sensitive and looks anywhere in the name.
    const Case cases[] = {
        {{Answer::Yes, Answer::Yes, Answer::Yes},
         {"a.htm", "INDEX.HTM", "notes.txt.old", "readme", "s/q"},
         {"INDEX.HTM", "readme", "q"}},
        {{Answer::No, Answer::Yes, Answer::Yes},
         {"a.htm", "notes.txt.old", "readme", "s/q"},
         {"INDEX.HTM", "readme", "q"}},
        {{Answer::Yes, Answer::Cancel},
         {"a.htm", "INDEX.HTM", "notes.txt.old"},
         {"INDEX.HTM", "readme"}},
    };
    test::TempDir tmp;
    makeTree(tmp.path(), {"readme", "notes.txt.old", "a.htm", "INDEX.HTM", "s/q"});
    for (const auto& c : cases) {
        Import imp;
        imp.run(tmp.path(), c.answers);
        EXPECT_EQ(imp.rows(tmp.path()), c.rows);
        EXPECT_EQ(imp.asked(), c.asked);
    }
}

TEST(ImportFolder, levelByLevelInFoldedOrder_hiddenFilesTakenHiddenFoldersNot) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"b.htm", "B/y.htm", "a/deep/z.htm", "a/x.htm", "A.htm", "a.htm", "_.htm",
                          ".h.htm", ".git/c.htm", "a/.cache/in.htm"});
    Import imp;
    imp.run(tmp.path());
    // "A" and "a" differ only in case: the bytes decide.
    EXPECT_EQ(imp.rows(tmp.path()), (Names{".h.htm", "_.htm", "A.htm", "a.htm", "b.htm", "a/x.htm",
                                           "B/y.htm", "a/deep/z.htm"}));
}

TEST(ImportFolder, moreThanAHundredFilesInOneFolder_allInOrderInOneAppend) {
    test::TempDir tmp;
    Names names;
    for (int i = 1000; i < 1251; ++i) names.push_back(std::to_string(i) + ".htm");
    makeTree(tmp.path(), names);
    Import imp;
    imp.run(tmp.path());
    EXPECT_EQ(imp.rows(tmp.path()), names);
    EXPECT_EQ(imp.list.appendCalls, 1);
}

TEST(NameArray, growsByFiftyFromAHundredAndEndsCutToTheNames) {
    // names, upper bound while filling, lower and upper bound at the end
    const std::int32_t cases[][4] = {{0, 100, 0, 0},     {1, 100, 1, 1},     {100, 100, 1, 100},
                                     {101, 150, 1, 101}, {151, 200, 1, 151}, {1000, 1000, 1, 1000}};
    for (const auto& [names, filling, lower, upper] : cases) {
        queue::NameArray a;
        for (int i = 1; i <= names; ++i) a.add(std::to_string(i));
        EXPECT_EQ(a.upper(), filling) << names;
        a.finish();
        EXPECT_EQ(a.lower(), lower) << names;
        EXPECT_EQ(a.upper(), upper) << names;
        EXPECT_EQ(a[upper], names ? std::to_string(names) : "");
        EXPECT_THROW(a[upper + 1], std::out_of_range);
    }
}

TEST(ListFolderFiles, patternPicksFilesWithOrWithoutTrailingSeparator) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"a.htm", "noext", "b.txt", "sub/c.htm"});
    platform::PosixDirListing listing;
    const std::pair<const char*, Names> cases[] = {{"*.*", {"a.htm", "b.txt", "noext"}},
                                                   {"*.htm", {"a.htm"}},
                                                   {"?.t*", {"b.txt"}},
                                                   {"*.z", {}}};
    for (const auto& [pattern, expected] : cases) {
        for (const fs::path& folder : {tmp.path(), tmp.path() / ""}) {
            const auto a = queue::ListFolderFiles(folder, pattern, listing);
            Names got;
            for (std::int32_t i = 1; i <= a.upper(); ++i) got.push_back(a[i]);
            EXPECT_EQ(got, expected) << pattern;
        }
    }
}

TEST(ImportFolder, onlyRegularFilesAndLinksToThem_linkedFoldersNotEntered) {
    test::TempDir tmp, outside;
    const fs::path root = tmp / "root";
    makeTree(root, {"a.htm", "sub/b.htm"});
    makeTree(outside.path(), {"foreign.htm"});
    fs::create_directory_symlink("..", root / "sub" / "loop");
    fs::create_directory_symlink(outside.path(), root / "out");
    fs::create_symlink("a.htm", root / "link.htm");
    fs::create_symlink("missing.htm", root / "dangling.htm");
    fs::create_symlink(outside / "foreign.htm", root / "sub" / "far.htm");
    ASSERT_EQ(::mkfifo((root / "page.htm").c_str(), 0600), 0);
    Import imp;
    imp.run(root);
    EXPECT_EQ(imp.rows(root), (Names{"a.htm", "link.htm", "sub/b.htm", "sub/far.htm"}));
}

TEST(ImportFolder, unreadableFoldersArePassedOver) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    test::TempDir tmp;
    makeTree(tmp.path(),
             {"a.htm", "locked/in.htm", "locked/deep/x.htm", "noexec/c.htm", "z/b.htm"});
    ::chmod((tmp / "locked").c_str(), 0);
    ::chmod((tmp / "noexec").c_str(), 0600);  // names readable, files out of reach
    Import imp;
    imp.run(tmp.path());
    EXPECT_EQ(imp.rows(tmp.path()), (Names{"a.htm", "z/b.htm"}));
}

TEST(ImportFolder, foldersChangedWhileAQuestionIsUp_arePassedOverOrReadAfresh) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"q.bin", "gone/a.htm", "swapped/b.htm", "stays/c.htm"});
    Import imp;
    imp.boxes.onShow = [&](std::size_t) {
        fs::remove_all(tmp / "gone");
        fs::remove_all(tmp / "swapped");
        test::writeBytes(tmp / "swapped", "now a file");
        test::writeBytes(tmp / "stays" / "new.htm", "x");
    };
    imp.run(tmp.path(), {Answer::Yes});
    EXPECT_EQ(imp.rows(tmp.path()), (Names{"q.bin", "stays/c.htm", "stays/new.htm"}));
}

TEST(ImportFolder, cancelledPickerOrAChosenPathThatIsNoFolder_addsNothing) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"file.bin"});
    for (const fs::path& chosen : {fs::path(), tmp / "file.bin", tmp / "missing"}) {
        Import imp;
        imp.run(chosen);
        EXPECT_EQ(imp.list.appendCalls, 0) << chosen;
        EXPECT_TRUE(imp.boxes.shown.empty()) << chosen;
    }
}

TEST(ImportFolder, nonUtf8NamesKeepTheirBytes) {
    test::TempDir tmp;
    makeTree(tmp.path(), {"d\xff/\xe9t\xe9.htm", "\x80\x81"});
    Import imp;
    imp.run(tmp.path(), {Answer::Yes});
    EXPECT_EQ(imp.rows(tmp.path()), (Names{"\x80\x81", "d\xff/\xe9t\xe9.htm"}));
    EXPECT_EQ(imp.asked(), Names{"\x80\x81"});
}

// A listing from a table, for trees that cannot be made in a temporary folder.
struct TableListing : platform::DirListing {
    std::map<std::string, std::vector<platform::DirEntry>> folders;
    Names asked;
    std::vector<platform::DirEntry> list(const fs::path& folder) override {
        asked.push_back(folder.native());
        return folders[folder.native()];
    }
};

TEST(ImportFolder, rootFolderKeepsOneSeparator_rowsShownBeforeEachQuestion) {
    for (const std::string chosen : {"/", "/srv/", "/srv"}) {
        const std::string base = chosen == "/" ? "/" : "/srv/";
        TableListing listing;
        listing.folders[base] = {
            {"a.htm", EntryKind::File}, {"sub", EntryKind::Folder}, {"c.bin", EntryKind::File}};
        listing.folders[base + "sub/"] = {{"e.htm", EntryKind::File}};
        Import imp;
        std::vector<std::size_t> rowsWhileAsked;
        imp.boxes.onShow = [&](std::size_t) { rowsWhileAsked.push_back(imp.list.rows.size()); };
        imp.run(chosen, {Answer::Yes}, &listing);
        Names rows;
        for (const auto& r : imp.list.rows) rows.push_back(r.filename.native());
        EXPECT_EQ(rows, (Names{base + "a.htm", base + "c.bin", base + "sub/e.htm"})) << chosen;
        EXPECT_EQ(rowsWhileAsked, std::vector<std::size_t>{1});
    }
}

TEST(ImportFolder, eachFolderIsReadOnceWhenNoQuestionComes) {
    TableListing listing;
    listing.folders["/t/"] = {{"a.htm", EntryKind::File}, {"sub", EntryKind::Folder}};
    Import imp;
    imp.run("/t", {}, &listing);
    EXPECT_EQ(listing.asked, (Names{"/t/", "/t/sub/"}));
}

}  // namespace
}  // namespace qm
