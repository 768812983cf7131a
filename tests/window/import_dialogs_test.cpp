// Filling the queue from the main window's buttons, through the real Qt
// dialogs and question boxes, answered from the test as a user would.
#include <QDir>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using ImportDialogs = FormTest;

QString local(const std::filesystem::path& p) {
    return QString::fromStdString(p.native());
}

TEST_F(ImportDialogs, pickThreeFiles_queuedWithQueued_typedNewNamesAsTheyCome) {
    std::filesystem::create_directory(dir / "picked");
    for (const char* name : {"a.htm", "b.html", "c.txt"}) writeBytes(dir / "picked" / name, "x");
    const auto typed = [this](std::vector<const char*> names) {
        QStringList quoted;
        for (const char* name : names) quoted << '"' + local(dir / "picked" / name) + '"';
        return quoted.join(' ');
    };
    importThrough("Check1", {});
    EXPECT_EQ(queue().count(), 0u);  // cancel adds nothing and says nothing
    queue().append({{"/earlier.htm", ""}});
    importThrough("Check1", {typed({"a.htm", "b.html", "c.txt"})});
    EXPECT_EQ(dialogSetup.join(" | "),
              "Add File(s) - Hold Ctrl to select multiple files | Qt's | many | many | one | "
              "files | HTML Files (*.htm *.html) | All Files (*)");
    importThrough("Check1", {local(dir / "picked/new.htm")});
    // Existing and new names typed together all come back.
    importThrough("Check1", {typed({"a.htm", "b.html", "new.txt"})});
    // A wildcard filters the listing and is never queued; "~" is the home folder.
    importThrough("Check1", {local(dir / "picked/*.txt"), "~/tilde.htm"});
    EXPECT_EQ(filters, (QStringList{"*.txt", "closed"}));
    QStringList paths = column(0);
    ASSERT_EQ(paths.size(), 9);
    std::sort(paths.begin() + 1, paths.begin() + 4);  // the dialog may list the three in any order
    QStringList expected{"/earlier.htm"};
    for (const char* name : {"a.htm", "b.html", "c.txt", "new.htm", "a.htm", "b.html", "new.txt"})
        expected << local(dir / "picked" / name);
    EXPECT_EQ(paths, expected << QDir::homePath() + "/tilde.htm");
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
    EXPECT_EQ(dialogSetup.join(" | "),
              "Please select folder to add: | Qt's | one | one | one | folders | All Files (*)");
    const QString tail =
        " is not a .htm .html or .txt file. Do you want to load it into the "
        "list of files to extract from?";
    EXPECT_EQ(asked, (QStringList{"Quillmere|b.HTML" + tail, "Quillmere|c.bin" + tail,
                                  "Quillmere|e.dat" + tail}));
    EXPECT_EQ(column(0),
              (QStringList{local(dir / "a.htm"), local(dir / "b.HTML"), local(dir / "d.txt")}));
    EXPECT_EQ(column(1), QStringList(3, ""));
}

}  // namespace
}  // namespace qm::test
