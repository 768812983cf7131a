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

TEST(QtFileDialogs, dialogsAreQtsOwnWithTheirOptions_cancelReturnsNothing) {
    platform::QtFileDialogs dialogs(nullptr);
    QStringList filters;
    bool nonNative = false, dirsOnly = false;
    QAbstractItemView::SelectionMode selection{};
    QFileDialog::FileMode folderMode{};
    test::ModalAnswerer answerer(
        {[&](QWidget* w) {
             auto* dialog = qobject_cast<QFileDialog*>(w);
             filters = dialog->nameFilters();
             nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
             selection = dialog->findChild<QListView*>("listView")->selectionMode();
             dialog->reject();
         },
         [&](QWidget* w) {
             auto* dialog = qobject_cast<QFileDialog*>(w);
             dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly) &&
                        dialog->testOption(QFileDialog::DontUseNativeDialog);
             folderMode = dialog->fileMode();
             dialog->reject();
         }});
    EXPECT_EQ(dialogs.showOpen(kFlags, "t", kFilter), "");
    EXPECT_EQ(dialogs.browseForFolder("Please select folder to add:"), fs::path());
    EXPECT_EQ(answerer.answered(), 2u);
    EXPECT_EQ(filters, QStringList({"HTML Files (*.htm *.html)", "All Files (*)"}));
    EXPECT_TRUE(nonNative);
    EXPECT_EQ(selection, QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(dirsOnly);
    EXPECT_EQ(folderMode, QFileDialog::Directory);
}

}  // namespace
}  // namespace qm
