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

QString spoken(QWidget* w, QAccessible::Text text) {
    return QAccessible::queryAccessibleInterface(w)->text(text);
}

TEST_F(LayoutTest, everyControl_matchesTheLayoutAt96Dpi_andScreenReadersNameIt) {
    using enum QAccessible::Role;
    const struct {
        const char* name;
        QRect rect;
        QString caption;
        double points;  // Arial bold; 0: the platform's default font
        QAccessible::Role role;
        QString spoken = caption;  // the accessible name
    } controls[] = {
        {"ListView1", {8, 8, 473, 105}, "", 9, Tree, "File queue"},
        {"Check1", {8, 120, 129, 28}, "Add Files", 11.25, Button},
        {"Check5", {144, 120, 209, 27}, "Add All File(s) In Folder", 11.25, Button},
        {"Check4", {360, 120, 121, 27}, "Clear List", 11.25, Button},
        {"Label1", {8, 152, 473, 17}, "Find What:", 9, StaticText},
        {"Text1", {8, 168, 473, 22}, "", 9, EditableText, "Find What:"},
        {"Label2", {8, 192, 401, 17}, "Replace With:", 9, StaticText},
        {"Text2", {8, 208, 473, 22}, "", 9, EditableText, "Replace With:"},
        {"Check3", {8, 232, 257, 17}, "Make backup of files before replace", 9, CheckBox},
        {"Check2", {8, 253, 473, 28}, "Replace Text", 11.25, Button},
        {"Command1", {-48, 176, 41, 33}, "Command1", 0, Button, "Quillmere"},
    };
    const QString tip = "Double-click item to remove it.";
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* w = get(c.name);
        EXPECT_EQ(w->geometry(), c.rect);
        EXPECT_EQ(w->property("text").toString(), c.caption);  // none for the list
        EXPECT_EQ(QAccessible::queryAccessibleInterface(w)->role(), c.role);
        EXPECT_EQ(spoken(w, QAccessible::Name), c.spoken);
        EXPECT_EQ(w->toolTip(), w == get("ListView1") ? tip : "");
        if (c.points == 0)
            continue;
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), c.points);
        EXPECT_EQ(w->font().weight(), QFont::Bold);
        const QString family = QFontInfo(w->font()).family();  // Arial or its metric twin
        EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
        // The caption fits, with an eighth of the height as margin on either side.
        EXPECT_LE(qobject_cast<QCheckBox*>(w)
                      ? w->sizeHint().width()
                      : w->fontMetrics().horizontalAdvance(c.caption) + w->height() / 4,
                  w->width());
    }
    EXPECT_EQ(form->childAt(12, 168), get("Text1"));  // each text box lies over its label
    EXPECT_EQ(spoken(get("ListView1"), QAccessible::Description), tip);
    EXPECT_EQ(spoken(get("Command1"), QAccessible::Description),
              "Press Tab to reach the controls.");
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
    const QHeaderView* header = get<QTreeView>("ListView1")->header();
    EXPECT_TRUE(header->isVisibleTo(form.get()));
    for (auto [at, title, width] : {std::tuple(0, "Filename", 347), {1, "Status", 67}}) {
        EXPECT_EQ(queue().headerData(at, Qt::Horizontal, Qt::DisplayRole).toString(), title);
        EXPECT_EQ(header->sectionSize(at), width);
    }
    // Under a dark colour scheme, captions drawn on the fixed white stay dark (right of the
    // check box's square too) and the white stays beyond them, as on the window. The list and
    // the text boxes take the scheme's colours whole.
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(60, 60, 60), QColor(45, 45, 45)));  // white text
    open();  // outside an event loop, Qt gives a new palette only to new widgets
    const QImage drawn = form->grab().toImage();
    for (const char* name :
         {"Check1", "Check2", "Check4", "Check5", "Check3", "Label1", "Label2"}) {
        const QRect r = get(name)->geometry().adjusted(20, 0, 0, 0);
        int darkest = 255;
        for (int i = 0; i < r.width() * r.height(); ++i)
            darkest =
                std::min(darkest, qGray(drawn.pixel(r.x() + i % r.width(), r.y() + i / r.width())));
        EXPECT_LT(darkest, 80) << name;
        EXPECT_GE(qGray(drawn.pixel(r.right() - 2, r.y() + 5)), 250) << name;  // beyond it
    }
    EXPECT_EQ(drawn.pixelColor(487, 5), QColor(Qt::white));
    for (const char* name : {"ListView1", "Text1", "Text2"})
        EXPECT_TRUE(get(name)->palette() == QApplication::palette()) << name;
    QApplication::setPalette(saved);
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
    for (int i = 0; i < 18; ++i) {
        QTest::keyClick(QApplication::focusWidget(), i < 9 ? Qt::Key_Tab : Qt::Key_Backtab);
        seen << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(seen.join(' '),
              "Command1 Check1 Check2 ListView1 Text1 Text2 Check3 Check4 Check5 Command1 "
              "Check5 Check4 Check3 Text2 Text1 ListView1 Check2 Check1 Command1");
}

}  // namespace
}  // namespace qm::test
