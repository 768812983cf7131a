// Filling the queue from the main window's buttons, through the real Qt
// dialogs and question boxes, answered from the test as a user would.
#include <QAbstractButton>
#include <QFileDialog>
#include <QListView>

#include "queue/add_folder.h"
#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using Rows = std::vector<std::pair<QString, QString>>;

class ImportDialogs : public FormTest {
protected:
    // Opens the file or folder dialog from button and answers it by typing typed,
    // then answers each question box with the next of answers.
    void importThrough(const char* button, const QString& typed,
                       const std::vector<QMessageBox::StandardButton>& answers = {}) {
        std::vector<ModalAnswerer::Step> steps{[this, typed](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            nonNativeModal =
                dialog->testOption(QFileDialog::DontUseNativeDialog) && dialog->isModal();
            multiSelect = dialog->findChild<QListView*>("listView")->selectionMode() ==
                          QAbstractItemView::ExtendedSelection;
            foldersOnly = dialog->testOption(QFileDialog::ShowDirsOnly) &&
                          dialog->fileMode() == QFileDialog::Directory;
            typeIntoNameBox(typed)(w);
        }};
        for (auto button : answers) {
            steps.push_back([this, button](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                ASSERT_NE(box, nullptr);
                asked.push_back(box->windowTitle() + "|" + box->text());
                EXPECT_EQ(box->standardButtons(),
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                box->button(button)->click();
            });
        }
        ModalAnswerer answerer(steps);
        click(button);
        EXPECT_EQ(answerer.answered(), steps.size());
        EXPECT_FALSE(answerer.timedOut());
    }
    Rows rows() const {  // (path, status) of every row, as the list shows them
        Rows out;
        for (int r = 0; r < queue().rowCount(); ++r)
            out.emplace_back(queue().index(r, 0).data().toString(),
                             queue().index(r, 1).data().toString());
        return out;
    }

    QString title;
    QStringList filters;
    bool nonNativeModal = false, multiSelect = false, foldersOnly = false;
    std::vector<QString> asked;
};

TEST_F(ImportDialogs, pickThreeFiles_queuedWithQueued_aTypedNewNameAsItComes) {
    std::filesystem::create_directory(dir / "picked");
    for (const char* name : {"a.htm", "b.html", "c.txt"}) writeBytes(dir / "picked" / name, "x");
    queue().append({{"/earlier.htm", ""}});
    importThrough("Check1", "\"" + local(dir / "picked/a.htm") + "\" \"" +
                                local(dir / "picked/b.html") + "\" \"" +
                                local(dir / "picked/c.txt") + "\"");
    EXPECT_EQ(title, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_EQ(filters, QStringList({"HTML Files (*.htm *.html)", "All Files (*)"}));
    EXPECT_TRUE(nonNativeModal && multiSelect && !foldersOnly);
    importThrough("Check1", local(dir / "new.htm"));
    // Existing and new names typed together all come back.
    importThrough("Check1", "\"" + local(dir / "picked/a.htm") + "\" \"" +
                                local(dir / "picked/b.html") + "\" \"" +
                                local(dir / "picked/new.txt") + "\"");
    Rows got = rows();
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[5], (std::pair<QString, QString>(local(dir / "picked/a.htm"), "Queued")));
    EXPECT_EQ(got[6], (std::pair<QString, QString>(local(dir / "picked/b.html"), "Queued")));
    EXPECT_EQ(got[7], (std::pair<QString, QString>(local(dir / "picked/new.txt"), "Queued")));
    got.resize(5);
    std::sort(got.begin() + 1, got.end() - 1);  // the dialog may list the three in any order
    EXPECT_EQ(got, (Rows{{"/earlier.htm", ""},
                         {local(dir / "picked/a.htm"), "Queued"},
                         {local(dir / "picked/b.html"), "Queued"},
                         {local(dir / "picked/c.txt"), "Queued"},
                         {local(dir / "new.htm"), "Queued"}}));
}

TEST_F(ImportDialogs, importFolder_answersYesNoAndCancel) {
    for (const char* name : {"a.htm", "b.HTML", "c.bin", "d.txt", "e.dat", "~g.bin"})
        writeBytes(dir / name, "x");
    std::filesystem::create_directory(dir / "sub");
    writeBytes(dir / "sub" / "f.htm", "x");
    const QString tail = QString::fromUtf8(queue::kNotTextQuestion.data(),
                                           static_cast<qsizetype>(queue::kNotTextQuestion.size()));
    const struct {
        std::vector<QMessageBox::StandardButton> answers;
        std::vector<const char*> rows;
    } cases[] = {
        {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, {"a.htm", "b.HTML", "d.txt"}},
        {{QMessageBox::No, QMessageBox::Yes, QMessageBox::No},
         {"a.htm", "c.bin", "d.txt", "sub/f.htm"}},
    };
    for (const auto& c : cases) {
        queue().clear();
        asked.clear();
        importThrough("Check5", local(dir.path()), c.answers);
        EXPECT_EQ(title, "Please select folder to add:");
        EXPECT_TRUE(nonNativeModal && foldersOnly);
        EXPECT_EQ(asked, (std::vector<QString>{"Quillmere|b.HTML" + tail, "Quillmere|c.bin" + tail,
                                               "Quillmere|e.dat" + tail}));
        Rows expected;
        for (const char* r : c.rows) expected.emplace_back(local(dir / r), QString());
        EXPECT_EQ(rows(), expected);
    }
}

}  // namespace
}  // namespace qm::test
