// Filling the queue from the main window's buttons, through the real Qt
// dialogs and question boxes, answered from the test as a user would.
#include <QDir>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using ImportDialogs = FormTest;

TEST_F(ImportDialogs, pickThreeFiles_queuedWithQueued_typedNewNamesAsTheyCome) {
    const QString picked = local(dir / "picked");
    std::filesystem::create_directory(dir / "picked");
    for (const char* name : {"a.htm", "b.html", "c.txt"}) writeBytes(dir / "picked" / name, "x");
    importThrough("Check1", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    queue().append({{"/earlier.htm", ""}});
    importThrough("Check1", {QString(R"("%1/a.htm" "%1/b.html" "%1/c.txt")").arg(picked)});
    EXPECT_EQ(noted.join(" | "),
              "Add File(s) - Hold Ctrl to select multiple files | HTML Files "
              "(*.htm *.html) | All Files (*) | 3 | 3 | 1 | closed");
    importThrough("Check1", {picked + "/new.htm"});
    // Existing and new names typed together all come back.
    importThrough("Check1", {QString(R"("%1/a.htm" "%1/b.html" "%1/new.txt")").arg(picked)});
    // A wildcard filters the listing and is never queued; "~" is the home folder.
    importThrough("Check1", {picked + "/*.txt", "~/tilde.htm"});
    EXPECT_EQ(noted.mid(6), (QStringList{"*.txt", "closed"}));
    QStringList paths = column(0).replaceInStrings(picked + "/", "");
    ASSERT_EQ(paths.size(), 9);
    std::sort(paths.begin() + 1, paths.begin() + 4);  // the dialog may list the three in any order
    EXPECT_EQ(paths.join(' '), "/earlier.htm a.htm b.html c.txt new.htm a.htm b.html new.txt " +
                                   QDir::homePath() + "/tilde.htm");
    EXPECT_EQ(column(1), QStringList{""} + QStringList(8, "Queued"));
}

TEST_F(ImportDialogs, importFolder_answersYesNoAndCancel) {
    for (const char* name : {"a.htm", "b.HTML", "c.bin", "d.txt", "e.dat", "f.bin"})
        writeBytes(dir / name, "x");
    std::filesystem::create_directory(dir / "sub");
    writeBytes(dir / "sub" / "g.htm", "x");  // not reached after the Cancel
    importThrough("Check5", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    importThrough("Check5", {local(dir.path())},
                  {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel});
    const QString question =
        "Quillmere|%1 is not a .htm .html or .txt file. Do you want to load it into the list of "
        "files to extract from?";
    EXPECT_EQ(noted,
              (QStringList{"Please select folder to add:", "All Files (*)", "1", "1", "1", "closed",
                           question.arg("b.HTML"), question.arg("c.bin"), question.arg("e.dat")}));
    EXPECT_EQ(column(0).replaceInStrings(local(dir.path()), ""),
              (QStringList{"/a.htm", "/b.HTML", "/d.txt"}));
    EXPECT_EQ(column(1), QStringList(3, ""));
}

}  // namespace
}  // namespace qm::test
