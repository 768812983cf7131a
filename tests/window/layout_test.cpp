// The window against its layout: geometry, fonts, captions, what screen readers
// find, look, tab order, focus.
#include <QAccessible>
#include <QCheckBox>
#include <QFontInfo>
#include <QHeaderView>

#include "tests/window/form_fixture.h"
#include "window/misc.h"

namespace qm::test {
namespace {

using LayoutTest = FormTest;

TEST_F(LayoutTest, everyControl_matchesTheLayoutAt96Dpi_andScreenReadersNameIt) {
    using enum QAccessible::Role;
    const struct {
        const char* name;
        QRect pixels;
        const char* caption;
        double points;  // 0: the platform's default font
        QAccessible::Role role;
        const char* spoken;  // the accessible name
    } controls[] = {
        {"ListView1", {8, 8, 473, 105}, "", 9, Tree, "File queue"},
        {"Check1", {8, 120, 129, 28}, "Add Files", 11.25, Button, "Add Files"},
        {"Check5",
         {144, 120, 209, 27},
         "Add All File(s) In Folder",
         11.25,
         Button,
         "Add All File(s) In Folder"},
        {"Check4", {360, 120, 121, 27}, "Clear List", 11.25, Button, "Clear List"},
        {"Label1", {8, 152, 473, 17}, "Find What:", 9, StaticText, "Find What:"},
        {"Text1", {8, 168, 473, 22}, "", 9, EditableText, "Find What:"},
        {"Label2", {8, 192, 401, 17}, "Replace With:", 9, StaticText, "Replace With:"},
        {"Text2", {8, 208, 473, 22}, "", 9, EditableText, "Replace With:"},
        {"Check3",
         {8, 232, 257, 17},
         "Make backup of files before replace",
         9,
         CheckBox,
         "Make backup of files before replace"},
        {"Check2", {8, 253, 473, 28}, "Replace Text", 11.25, Button, "Replace Text"},
        {"Command1", {-48, 176, 41, 33}, "Command1", 0, Button, "Quillmere"},
    };
    for (const auto& e : controls) {
        SCOPED_TRACE(e.name);
        QWidget* w = get(e.name);
        EXPECT_EQ(w->geometry(), e.pixels);
        const QString caption = w->property("text").toString();  // empty for the list
        EXPECT_EQ(caption.toStdString(), e.caption);
        const QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(spoken, nullptr);
        EXPECT_EQ(spoken->role(), e.role);
        EXPECT_EQ(spoken->text(QAccessible::Name).toStdString(), e.spoken);
        if (e.points > 0) {
            // The caption fits, with an eighth of the height as margin on either side.
            const int needed = qobject_cast<QCheckBox*>(w)
                                   ? w->sizeHint().width()
                                   : w->fontMetrics().horizontalAdvance(caption) + w->height() / 4;
            EXPECT_LE(needed, w->width());
            EXPECT_DOUBLE_EQ(w->font().pointSizeF(), e.points);
            EXPECT_EQ(w->font().weight(), QFont::Bold);
            const QString family = QFontInfo(w->font()).family();  // Arial or its metric twin
            EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
        }
        const bool isList = std::string_view(e.name) == "ListView1";
        EXPECT_EQ(w->toolTip(), isList ? "Double-click item to remove it." : "");
    }
    EXPECT_EQ(form->childAt(12, 168), get("Text1"));  // each text box lies over its label
    const auto description = [this](const char* name) {
        return QAccessible::queryAccessibleInterface(get(name))->text(QAccessible::Description);
    };
    EXPECT_EQ(description("ListView1"), "Double-click item to remove it.");
    EXPECT_EQ(description("Command1"), "Press Tab to reach the controls.");
}

TEST_F(LayoutTest, window_isFixedIconlessCentredAndReadableInADarkScheme) {
    EXPECT_EQ(form->size(), QSize(490, 288));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint),
              Qt::WindowMinimizeButtonHint);
    // The frame, 2 pixels wide offscreen, centred on the 800 x 800 screen; a window larger
    // than the screen goes to negative coordinates.
    EXPECT_EQ(form->frameGeometry(), QRect(153, 254, 494, 292));
    QWidget large;
    large.resize(900, 1000);
    window::CenterOnScreen(large);
    EXPECT_EQ(large.pos(), QPoint(-50, -100));
    const QImage icon = form->windowIcon().pixmap(32, 32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (int i = 0; i < 32 * 32; ++i) ASSERT_EQ(qAlpha(icon.pixel(i % 32, i / 32)), 0);
    // Under a dark colour scheme, captions drawn on the fixed white stay dark, right of the
    // check box's square too; the window, the check box and the labels stay white beyond
    // them. The list and the text boxes take the scheme's colours whole.
    struct Restore {
        QPalette saved = QApplication::palette();
        ~Restore() { QApplication::setPalette(saved); }
    } restore;
    QApplication::setPalette(QPalette(QColor(60, 60, 60), QColor(45, 45, 45)));  // white text
    open();  // outside an event loop, Qt gives a new palette only to new widgets
    for (const char* name :
         {"Check1", "Check2", "Check4", "Check5", "Check3", "Label1", "Label2"}) {
        const QImage drawn = get(name)->grab().toImage();
        int darkest = 255;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 20; x < drawn.width(); ++x)
                darkest = std::min(darkest, qGray(drawn.pixel(x, y)));
        EXPECT_LT(darkest, 80) << name;
    }
    for (QWidget* w : {static_cast<QWidget*>(form.get()), get("Check3"), get("Label2")}) {
        const QImage drawn = w->grab().toImage();
        EXPECT_EQ(drawn.pixelColor(drawn.width() - 3, 5), QColor(Qt::white))
            << w->objectName().toStdString();
    }
    for (const char* name : {"ListView1", "Text1", "Text2"})
        EXPECT_TRUE(get(name)->palette() == QApplication::palette()) << name;
    const QHeaderView* header = get<QTreeView>("ListView1")->header();
    EXPECT_FALSE(header->isHidden());
    for (auto [column, title, width] : {std::tuple(0, "Filename", 347), {1, "Status", 67}}) {
        EXPECT_EQ(queue().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), title);
        EXPECT_EQ(header->sectionSize(column), width);
    }
}

TEST_F(LayoutTest, longPathsInOneFolder_showTheirDifferentFileNames) {
    const std::string folder = "/" + std::string(80, 'd') + "/";  // far wider than the column
    queue().append({{folder + "alpha.htm", ""}, {folder + "omega.htm", ""}});
    const auto* list = get<QTreeView>("ListView1");
    const QImage rows = list->viewport()->grab().toImage();
    const QRect first = list->visualRect(queue().index(0, 0));
    const QRect second = list->visualRect(queue().index(1, 0));
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(rows.copy(first), rows.copy(second));
}

TEST_F(LayoutTest, focus_startsOnTheHiddenButtonAndTabCyclesBothWays) {
    QStringList seen{QApplication::focusWidget()->objectName()};
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), key);
            seen << QApplication::focusWidget()->objectName();
        }
    }
    EXPECT_EQ(seen.join(' ').toStdString(),
              "Command1 Check1 Check2 ListView1 Text1 Text2 Check3 Check4 Check5 Command1 "
              "Check5 Check4 Check3 Text2 Text1 ListView1 Check2 Check1 Command1");
}

}  // namespace
}  // namespace qm::test
