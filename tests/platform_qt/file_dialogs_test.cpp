#include "platform/qt_file_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTest>

#include "support/modal_answerer.h"
#include "support/temp_dir.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr std::uint32_t kFlags = 0x280201;
constexpr std::string_view kFilter = "HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|";

QString local(const fs::path& p) {
    return QString::fromStdString(p.native());
}

// A step that types text into the dialog's name box and presses Return.
test::ModalAnswerer::Step type(const QString& text) {
    return [text](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

test::ModalAnswerer::Step reject() {
    return [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); };
}

TEST(NameFilters, filterTextBecomesQtFilters) {
    struct Case {
        std::string_view filter;
        QStringList expected;
    };
    const Case cases[] = {
        {kFilter, {"HTML Files (*.htm *.html)", "All Files (*)"}},
        {"Text|*.txt", {"Text (*.txt)"}},
        {"Pages (*.htm)|*.htm;*.htm; |Orphan", {"Pages (*.htm)"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::nameFiltersFor(c.filter), c.expected) << c.filter;
    }
}

TEST(QtFileDialogs, openDialogIsQtsOwnWithTitleFiltersAndMultiSelect) {
    test::TempDir tmp;
    for (const char* name : {"a.htm", "b.htm", "c.htm"}) test::writeBytes(tmp / name, "x");
    platform::QtFileDialogs dialogs(nullptr);
    QString title;
    QStringList filters;
    bool nonNative = false;
    QAbstractItemView::SelectionMode mode{};
    test::ModalAnswerer answerer({[&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
        mode = dialog->findChild<QListView*>(QStringLiteral("listView"))->selectionMode();
        type("\"" + local(tmp / "a.htm") + "\" \"" + local(tmp / "c.htm") + "\" \"" +
             local(tmp / "b.htm") + "\"")(w);
    }});
    const std::string got = dialogs.showOpen(kFlags, "Add File(s) - Hold Ctrl", kFilter);
    EXPECT_EQ(title, "Add File(s) - Hold Ctrl");
    EXPECT_EQ(filters, QStringList({"HTML Files (*.htm *.html)", "All Files (*)"}));
    EXPECT_TRUE(nonNative);
    EXPECT_EQ(mode, QAbstractItemView::ExtendedSelection);
    // The folder, then each name after a NUL; the order is the dialog's.
    ASSERT_EQ(got.substr(0, tmp.path().native().size() + 1), tmp.path().native() + '\0');
    QStringList names =
        QString::fromStdString(got.substr(tmp.path().native().size() + 1)).split(QChar(0));
    names.sort();
    EXPECT_EQ(names, QStringList({"a.htm", "b.htm", "c.htm"}));
    EXPECT_FALSE(answerer.timedOut());
}

TEST(QtFileDialogs, typedNamesThatDoNotExistComeBackAsTyped) {
    struct Case {
        QString typed;
        std::string expected;
    };
    test::TempDir tmp;
    const std::string dir = tmp.path().native();
    const Case cases[] = {
        {local(tmp / "new.htm"), dir + "/new.htm"},
        {"\"" + local(tmp / "x.htm") + "\" \"" + local(tmp / "y.htm") + "\"",
         dir + "\0x.htm\0y.htm"s},
        {"\"" + local(tmp / "x.htm") + "\" \"" + local(tmp / "sub" / "y.htm") + "\"",
         dir + "\0x.htm\0sub/y.htm"s},
    };
    platform::QtFileDialogs dialogs(nullptr);
    for (const auto& c : cases) {
        test::ModalAnswerer answerer({type(c.typed)});
        EXPECT_EQ(dialogs.showOpen(kFlags, "t", kFilter), c.expected) << c.typed.toStdString();
        EXPECT_FALSE(answerer.timedOut());
    }
}

TEST(QtFileDialogs, cancelledDialogsReturnNothing) {
    platform::QtFileDialogs dialogs(nullptr);
    {
        test::ModalAnswerer answerer({reject()});
        EXPECT_EQ(dialogs.showOpen(kFlags, "t", kFilter), "");
        EXPECT_EQ(answerer.answered(), 1u);
    }
    {
        test::ModalAnswerer answerer({reject()});
        EXPECT_EQ(dialogs.browseForFolder("Please select folder to add:"), fs::path());
        EXPECT_EQ(answerer.answered(), 1u);
    }
}

TEST(QtFileDialogs, folderPickerShowsThePromptAndFoldersOnly) {
    test::TempDir tmp;
    fs::create_directory(tmp / "pick");
    platform::QtFileDialogs dialogs(nullptr);
    QString title;
    bool dirsOnly = false, nonNative = false;
    QFileDialog::FileMode mode{};
    test::ModalAnswerer answerer({[&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
        mode = dialog->fileMode();
        type(local(tmp / "pick"))(w);
    }});
    EXPECT_EQ(dialogs.browseForFolder("Please select folder to add:"), tmp / "pick");
    EXPECT_EQ(title, "Please select folder to add:");
    EXPECT_TRUE(dirsOnly);
    EXPECT_TRUE(nonNative);
    EXPECT_EQ(mode, QFileDialog::Directory);
}

}  // namespace
}  // namespace qm
