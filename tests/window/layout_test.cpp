// The window against its layout: geometry, fonts, captions, what screen readers
// find, look, tab order, focus.
#include <QAccessible>
#include <QFontInfo>
#include <QHeaderView>

#include "tests/window/form_fixture.h"
#include "window/misc.h"

namespace qm::test {
namespace {

using LayoutTest = FormTest;

TEST_F(LayoutTest, everyControl_matchesTheLayoutAt96Dpi_andScreenReadersNameIt) {
    using enum QAccessible::Role;
    // Name, pixels, caption, points of Arial bold (0: the platform's font), what a screen reader
    // calls it and its name there, when it is not the caption.
    const std::tuple<const char*, QRect, QString, double, QAccessible::Role, QString> controls[] = {
        {"ListView1", {8, 8, 473, 105}, "", 9, Tree, "File queue"},
        {"Check1", {8, 120, 129, 28}, "Add Files", 11.25, Button, ""},
        {"Check5", {144, 120, 209, 27}, "Add All File(s) In Folder", 11.25, Button, ""},
        {"Check4", {360, 120, 121, 27}, "Clear List", 11.25, Button, ""},
        {"Label1", {8, 152, 473, 17}, "Find What:", 9, StaticText, ""},
        {"Text1", {8, 168, 473, 22}, "", 9, EditableText, "Find What:"},
        {"Label2", {8, 192, 401, 17}, "Replace With:", 9, StaticText, ""},
        {"Text2", {8, 208, 473, 22}, "", 9, EditableText, "Replace With:"},
        {"Check3", {8, 232, 257, 17}, "Make backup of files before replace", 9, CheckBox, ""},
        {"Check2", {8, 253, 473, 28}, "Replace Text", 11.25, Button, ""},
        {"Command1", {-48, 176, 41, 33}, "Command1", 0, Button, "Quillmere"},
    };
    const QString tip = "Double-click item to remove it.";
    for (const auto& [name, rect, caption, points, role, spoken] : controls) {
        QWidget* w = get(name);
        const QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(w);
        EXPECT_EQ(w->geometry(), rect) << name;
        EXPECT_EQ(w->property("text").toString(), caption) << name;  // none for the list
        EXPECT_EQ(reader->role(), role) << name;
        EXPECT_EQ(reader->text(QAccessible::Name), spoken.isEmpty() ? caption : spoken) << name;
        EXPECT_EQ(w->toolTip(), w == get("ListView1") ? tip : "") << name;
        if (points == 0)
            continue;  // the platform's font
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points) << name;
        EXPECT_TRUE(w->font().bold()) << name;
        const QString family = QFontInfo(w->font()).family();  // Arial, or its metric twin
        EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << name;
    }
    EXPECT_EQ(form->childAt(12, 168), get("Text1"));  // each text box lies over its label
    const auto description = [this](const char* name) {
        return QAccessible::queryAccessibleInterface(get(name))->text(QAccessible::Description);
    };
    EXPECT_EQ(description("ListView1"), tip);
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
    QImage blank(32, 32, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    EXPECT_EQ(form->windowIcon().pixmap(32, 32).toImage(), blank);
    const QHeaderView* header = get<QTreeView>("ListView1")->header();
    EXPECT_TRUE(header->isVisibleTo(form.get()));
    for (auto [at, title, width] : {std::tuple(0, "Filename", 347), {1, "Status", 67}}) {
        EXPECT_EQ(queue().headerData(at, Qt::Horizontal, Qt::DisplayRole), title);
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
        const QImage part = drawn.copy(get(name)->geometry().adjusted(20, 0, 0, 0));
        int darkest = 255;
        for (int i = 0; i < part.width() * part.height(); ++i)
            darkest = std::min(darkest, qGray(part.pixel(i % part.width(), i / part.width())));
        EXPECT_LT(darkest, 80) << name;
        EXPECT_GE(qGray(part.pixel(part.width() - 3, 5)), 250) << name;  // white beyond it
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
