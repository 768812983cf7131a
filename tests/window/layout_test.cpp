// The window against its layout: geometry, fonts, captions, what screen readers find, look, tab
// order and focus; the pointer along a mouse path, and the hand image from HAND-M.CUR.
#include <QAccessible>
#include <QBuffer>
#include <QFontInfo>
#include <QHeaderView>
#include <QImageWriter>
#include <QPainter>
#include <optional>

#include "tests/window/form_fixture.h"
#include "window/misc.h"

namespace qm::test {
namespace {

using LayoutTest = FormTest;
using PointerTest = FormTest;

TEST_F(LayoutTest, everyControl_matchesTheLayoutAt96Dpi_andScreenReadersNameIt) {
    using enum QAccessible::Role;
    const QString tip = "Double-click item to remove it.", tab = "Press Tab to reach the controls.";
    // Name, pixels, caption, points of Arial bold (0: the platform's font), what a screen reader
    // calls it, its name there (none: the caption) and its description there.
    using Control =
        std::tuple<const char*, QRect, QString, double, QAccessible::Role, QString, QString>;
    const Control controls[] = {
        {"ListView1", {8, 8, 473, 105}, "", 9, Tree, "File queue", tip},
        {"Check1", {8, 120, 129, 28}, "Add Files", 11.25, Button, "", ""},
        {"Check5", {144, 120, 209, 27}, "Add All File(s) In Folder", 11.25, Button, "", ""},
        {"Check4", {360, 120, 121, 27}, "Clear List", 11.25, Button, "", ""},
        {"Label1", {8, 152, 473, 17}, "Find What:", 9, StaticText, "", ""},
        {"Text1", {8, 168, 473, 22}, "", 9, EditableText, "Find What:", ""},
        {"Label2", {8, 192, 401, 17}, "Replace With:", 9, StaticText, "", ""},
        {"Text2", {8, 208, 473, 22}, "", 9, EditableText, "Replace With:", ""},
        {"Check3", {8, 232, 257, 17}, "Make backup of files before replace", 9, CheckBox, "", ""},
        {"Check2", {8, 253, 473, 28}, "Replace Text", 11.25, Button, "", ""},
        {"Command1", {-48, 176, 41, 33}, "Command1", 0, Button, "Quillmere", tab},
    };
    for (const auto& [name, rect, caption, points, role, spoken, description] : controls) {
        SCOPED_TRACE(name);
        QWidget* w = get(name);
        const QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(w);
        EXPECT_EQ(w->geometry(), rect);
        EXPECT_EQ(w->property("text").toString(), caption);  // none for the list
        EXPECT_EQ(reader->role(), role);
        EXPECT_EQ(reader->text(QAccessible::Name), spoken.isEmpty() ? caption : spoken);
        EXPECT_EQ(reader->text(QAccessible::Description), description);
        EXPECT_EQ(w->toolTip(), description == tip ? tip : "");
        if (points == 0)
            continue;  // the platform's font
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points);
        EXPECT_TRUE(w->font().bold());
        const QString family = QFontInfo(w->font()).family();  // Arial, or its metric twin
        EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
    }
    EXPECT_EQ(form->childAt(12, 168), get("Text1"));  // each text box lies over its label
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.get())->role(), Window);
}

TEST_F(LayoutTest, window_isFixedIconlessCentredAndReadableInADarkScheme) {
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint),
              Qt::WindowMinimizeButtonHint);
    // 490 x 288 in a frame 2 pixels wide offscreen, centred on the 800 x 800 screen; a window
    // larger than the screen goes to negative coordinates.
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
    for (auto name : {"Check1", "Check2", "Check4", "Check5", "Check3", "Label1", "Label2"}) {
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
    ASSERT_EQ(list->visualRect(queue().index(1, 0)), first.translated(0, first.height()));
    EXPECT_NE(rows.copy(first), rows.copy(first.translated(0, first.height())));
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

TEST_F(PointerTest, codeFollowsTheMouseOverTheControls) {
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    moveTo("Label1");  // a move to where the mouse already is delivers nothing
    // Text boxes and labels leave the code as it was.
    const std::pair<const char*, Pointer> path[] = {
        {"Check1", Pointer::Custom}, {"ListView1", Pointer::Default}, {nullptr, Pointer::Arrow},
        {"Label1", Pointer::Arrow},  {"Text1", Pointer::Arrow},       {"Check5", Pointer::Custom},
        {"Text2", Pointer::Custom},  {"Check4", Pointer::Custom},     {nullptr, Pointer::Arrow},
        {"Check3", Pointer::Custom}, {"Check2", Pointer::Custom},
    };
    for (const auto& [over, code] : path) EXPECT_EQ(moveTo(over), code) << (over ? over : "window");
    EXPECT_EQ(get("Text1")->cursor().shape(), Qt::IBeamCursor);
    QTest::mouseMove(get<QTreeView>("ListView1")->header(), QPoint(20, 5));  // part of the list
    EXPECT_EQ(form->windowPort().pointer(), Pointer::Default);
    EXPECT_EQ(moveTo(nullptr), Pointer::Arrow);
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

// A Windows cursor file with one 32 x 32 image, opaque in its left half and transparent in its
// right half: Qt's icon file with the type of a cursor, and the hotspot where an icon keeps its
// planes and bit count.
std::string cursorFile(char hotX, char hotY) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(0, 0, 16, 32, Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "ico").write(image);
    std::string bytes = buffer.data().toStdString();
    bytes[2] = 2, bytes[10] = hotX, bytes[12] = hotY;
    return bytes;
}

TEST_F(PointerTest, handFile_givesItsImage_missingOrDamagedTheSystemHand) {
    // What HAND-M.CUR holds (none: there is no file), and whether it is sound; the last has its
    // hotspot outside the image.
    const std::pair<std::optional<std::string>, bool> files[] = {
        {cursorFile(5, 7), true}, {{}, false}, {"not a cursor", false}, {cursorFile(40, 3), false}};
    for (const auto& [bytes, sound] : files) {
        std::filesystem::remove(dir / "HAND-M.CUR");
        if (bytes)
            writeBytes(dir / "HAND-M.CUR", *bytes);
        open();  // start-up goes on whatever the file holds
        EXPECT_EQ(form->windowTitle(), "Quillmere");
        moveTo("Label1");
        EXPECT_EQ(moveTo("Check4"), Pointer::Custom);
        const QCursor shown = form->cursor();
        EXPECT_EQ(shown.shape(), sound ? Qt::BitmapCursor : Qt::PointingHandCursor);
        if (sound) {
            const QImage image = shown.pixmap().toImage();
            EXPECT_EQ(shown.hotSpot(), QPoint(5, 7));
            EXPECT_EQ(std::pair(qAlpha(image.pixel(2, 2)), qAlpha(image.pixel(30, 2))),
                      std::pair(255, 0));
        }
    }
}

}  // namespace
}  // namespace qm::test
