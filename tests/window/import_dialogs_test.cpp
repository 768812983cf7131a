// Filling the queue from the main window's buttons, through the real Qt
// dialogs and question boxes, answered from the test as a user would.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "form_fixture.h"
#include "queue/add_folder.h"
#include "support/modal_answerer.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Step = test::ModalAnswerer::Step;

QString local(const fs::path& p) {
    return QString::fromStdString(p.native());
}

Step typeIntoNameBox(const QString& text) {
    return [text](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

// Records the dialog's title, then runs step.
Step titled(QString& title, Step step) {
    return [&title, step](QWidget* dialog) {
        title = dialog->windowTitle();
        step(dialog);
    };
}

class ImportDialogs : public test::FormTest {
protected:
    // Clicks the button as a user does; its dialogs are answered meanwhile.
    void click(const char* button) {
        auto* b = get<QPushButton>(button);
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_FALSE(b->isChecked()) << button << " springs back";
    }
    // (path, status) of every row, as the list shows them.
    std::vector<std::pair<QString, QString>> rows() const {
        std::vector<std::pair<QString, QString>> out;
        const auto& model = queue();
        for (int r = 0; r < model.rowCount(); ++r) {
            out.emplace_back(model.data(model.index(r, 0), Qt::DisplayRole).toString(),
                             model.data(model.index(r, 1), Qt::DisplayRole).toString());
        }
        return out;
    }
    // Answers one question box with button, recording its title and text.
    Step answer(QMessageBox::StandardButton button) {
        return [this, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            asked.push_back(box->windowTitle() + "|" + box->text());
            EXPECT_EQ(box->standardButtons(),
                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box->button(button)->click();
        };
    }

    std::vector<QString> asked;
    test::TempDir tmp;
};

TEST_F(ImportDialogs, pickThreeFiles_queuedWithQueued) {
    for (const char* name : {"a.htm", "b.html", "c.txt", "d.bin"})
        test::writeBytes(tmp / name, "x");
    queue().append({{"/earlier.htm", ""}});
    QString title;
    test::ModalAnswerer answerer({titled(
        title, typeIntoNameBox("\"" + local(tmp / "a.htm") + "\" \"" + local(tmp / "b.html") +
                               "\" \"" + local(tmp / "c.txt") + "\""))});
    click("Check1");
    EXPECT_EQ(title, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_FALSE(answerer.timedOut());
    auto got = rows();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], std::make_pair(QString("/earlier.htm"), QString()));
    got.erase(got.begin());
    std::sort(got.begin(), got.end());
    const std::vector<std::pair<QString, QString>> expected = {{local(tmp / "a.htm"), "Queued"},
                                                               {local(tmp / "b.html"), "Queued"},
                                                               {local(tmp / "c.txt"), "Queued"}};
    EXPECT_EQ(got, expected);
}

TEST_F(ImportDialogs, importFolder_answersYesNoAndCancel) {
    struct Case {
        std::vector<QMessageBox::StandardButton> answers;
        std::vector<const char*> rows;
    };
    const Case cases[] = {
        {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, {"a.htm", "b.HTML", "d.txt"}},
        {{QMessageBox::No, QMessageBox::Yes, QMessageBox::No},
         {"a.htm", "c.bin", "d.txt", "sub/f.htm"}},
    };
    for (const char* name : {"a.htm", "b.HTML", "c.bin", "d.txt", "e.dat", "~g.bin"}) {
        test::writeBytes(tmp / name, "x");
    }
    fs::create_directory(tmp / "sub");
    test::writeBytes(tmp / "sub" / "f.htm", "x");
    const QString tail = QString::fromUtf8(queue::kNotTextQuestion.data(),
                                           static_cast<qsizetype>(queue::kNotTextQuestion.size()));
    for (const auto& c : cases) {
        queue().clear();
        asked.clear();
        QString title;
        std::vector<Step> steps{titled(title, typeIntoNameBox(local(tmp.path())))};
        for (auto button : c.answers) steps.push_back(answer(button));
        test::ModalAnswerer answerer(steps);
        click("Check5");
        EXPECT_FALSE(answerer.timedOut());
        EXPECT_EQ(title, "Please select folder to add:");
        EXPECT_EQ(asked, (std::vector<QString>{"Quillmere|b.HTML" + tail, "Quillmere|c.bin" + tail,
                                               "Quillmere|e.dat" + tail}));
        std::vector<std::pair<QString, QString>> expected;
        for (const char* r : c.rows) expected.emplace_back(local(tmp / r), QString());
        EXPECT_EQ(rows(), expected);
    }
}

}  // namespace
}  // namespace qm
