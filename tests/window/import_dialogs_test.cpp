// Filling the queue from the main window's buttons, through the real Qt
// dialogs and question boxes, answered from the test as a user would.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>

#include "tests/window/form_fixture.h"

namespace qm::test {
namespace {

using Rows = std::vector<std::pair<QString, QString>>;

QString local(const std::filesystem::path& p) {
    return QString::fromStdString(p.native());
}

class ImportDialogs : public FormTest {
protected:
    // Opens the file or folder dialog from button, notes how it is set up, types
    // each of typed over its name box and presses Return, noting the filter the
    // dialog shows in between (nothing typed: cancels it); then answers each
    // question box with the next of answers. No other box may show.
    void importThrough(const char* button, const QStringList& typed,
                       const std::vector<QMessageBox::StandardButton>& answers = {}) {
        std::vector<ModalAnswerer::Step> steps{[this, typed](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            const bool qtModal =
                dialog->testOption(QFileDialog::DontUseNativeDialog) && dialog->isModal();
            // Several files are picked in the file list and its detail view; the places
            // beside them keep picking one (headers pick columns).
            const auto views = dialog->findChildren<QAbstractItemView*>();
            const auto many = std::count_if(views.begin(), views.end(), [](auto* view) {
                return !qobject_cast<QHeaderView*>(view) &&
                       view->selectionMode() == QAbstractItemView::ExtendedSelection;
            });
            const bool folders = dialog->testOption(QFileDialog::ShowDirsOnly) &&
                                 dialog->fileMode() == QFileDialog::Directory;
            setup =
                QStringList{dialog->windowTitle(), qtModal ? "Qt's, modal" : "native or modeless",
                            many == 0   ? "one"
                            : many == 2 ? "many"
                                        : "many in other views",
                            folders ? "folders" : dialog->nameFilters().join(", ")}
                    .join(" | ");
            if (typed.isEmpty())
                return dialog->reject();
            QWidget* box = QApplication::focusWidget();  // the name box has the focus
            for (const QString& text : typed) {
                if (&text != &typed.front())
                    between << (dialog->isVisible() ? dialog->selectedNameFilter() : "closed");
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, text);
                QTest::keyClick(box, Qt::Key_Return);
            }
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

    QString setup;        // how the dialog was set up
    QStringList between;  // the filter shown between two typed texts
    std::vector<QString> asked;
};

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
    EXPECT_EQ(setup.toStdString(),
              "Add File(s) - Hold Ctrl to select multiple files | Qt's, modal | "
              "many | HTML Files (*.htm *.html), All Files (*)");
    importThrough("Check1", {local(dir / "picked/new.htm")});
    // Existing and new names typed together all come back.
    importThrough("Check1", {typed({"a.htm", "b.html", "new.txt"})});
    // A wildcard filters the listing and is never queued; "~" is the home folder.
    importThrough("Check1", {local(dir / "picked/*.txt"), "~/tilde.htm"});
    EXPECT_EQ(between, QStringList{"*.txt"});
    Rows got = rows();
    ASSERT_EQ(got.size(), 9u);
    std::sort(got.begin() + 1, got.begin() + 4);  // the dialog may list the three in any order
    Rows expected{{"/earlier.htm", ""}};
    for (const char* name : {"a.htm", "b.html", "c.txt", "new.htm", "a.htm", "b.html", "new.txt"})
        expected.emplace_back(local(dir / "picked" / name), "Queued");
    expected.emplace_back(QDir::homePath() + "/tilde.htm", "Queued");
    EXPECT_EQ(got, expected);
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
    EXPECT_EQ(setup.toStdString(), "Please select folder to add: | Qt's, modal | one | folders");
    const QString tail =
        " is not a .htm .html or .txt file. Do you want to load it into the "
        "list of files to extract from?";
    EXPECT_EQ(asked, (std::vector<QString>{"Quillmere|b.HTML" + tail, "Quillmere|c.bin" + tail,
                                           "Quillmere|e.dat" + tail}));
    EXPECT_EQ(rows(), (Rows{{local(dir / "a.htm"), ""},
                            {local(dir / "b.HTML"), ""},
                            {local(dir / "d.txt"), ""}}));
}

}  // namespace
}  // namespace qm::test
