// The window against its layout: geometry, fonts, captions, tab order, focus.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include "tests/window/form_fixture.h"
#include "window/layout.h"

namespace qm::test {
namespace {

TEST(TwipsToPixels, convertsAtTheScreenDensity) {
    struct Case {
        int twips;
        double dpi;
        int pixels;
    };
    for (const Case& c :
         {Case{7350, 96, 490}, Case{4320, 96, 288}, Case{400, 96, 27}, Case{3800, 96, 253},
          Case{-720, 96, -48}, Case{15, 96, 1}, Case{7350, 120, 613}, Case{4320, 144, 432}}) {
        EXPECT_EQ(window::twipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " @ " << c.dpi;
    }
}

using LayoutTest = FormTest;

TEST_F(LayoutTest, everyControl_matchesTheLayoutAt96Dpi) {
    struct Expected {
        const char* name;
        QRect pixels;
        const char* caption;
        double points;  // 0: the platform's default font
    };
    const Expected controls[] = {
        {"ListView1", {8, 8, 473, 105}, "", 9},
        {"Check1", {8, 120, 129, 28}, "Add Files", 11.25},
        {"Check5", {144, 120, 209, 27}, "Add All File(s) In Folder", 11.25},
        {"Check4", {360, 120, 121, 27}, "Clear List", 11.25},
        {"Label1", {8, 152, 473, 17}, "Find What:", 9},
        {"Text1", {8, 168, 473, 22}, "", 9},
        {"Label2", {8, 192, 401, 17}, "Replace With:", 9},
        {"Text2", {8, 208, 473, 22}, "", 9},
        {"Check3", {8, 232, 257, 17}, "Make backup of files before replace", 9},
        {"Check2", {8, 253, 473, 28}, "Replace Text", 11.25},
        {"Command1", {-48, 176, 41, 33}, "Command1", 0},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(e.name);
        QWidget* w = get(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), e.pixels);
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(w->isEnabled());
        QString caption;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            caption = b->text();
        if (auto* l = qobject_cast<QLabel*>(w))
            caption = l->text();
        if (auto* t = qobject_cast<QLineEdit*>(w))
            caption = t->text();
        EXPECT_EQ(caption.toStdString(), e.caption);
        if (e.points > 0) {
            const QFont f = w->font();
            EXPECT_DOUBLE_EQ(f.pointSizeF(), e.points);
            EXPECT_EQ(f.weight(), QFont::Bold);
            EXPECT_FALSE(f.italic() || f.underline() || f.strikeOut());
            // Arial, or its metric twin where Arial is not installed.
            const QString family = QFontInfo(f).family();
            EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
        }
        EXPECT_EQ(w->toolTip().isEmpty(), std::string(e.name) != "ListView1");
    }
    EXPECT_EQ(get<QTreeView>("ListView1")->toolTip(), "Double-click item to remove it.");
}

TEST_F(LayoutTest, captions_fitTheirControls) {
    for (const char* name : {"Check1", "Check2", "Check4", "Check5"}) {
        auto* b = get<QPushButton>(name);
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << name;
    }
    for (const char* name : {"Label1", "Label2"}) {
        auto* l = get<QLabel>(name);
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << name;
        EXPECT_LE(l->fontMetrics().height(), l->height()) << name;
    }
    auto* box = get<QCheckBox>("Check3");
    EXPECT_LE(box->sizeHint().width(), box->width());
}

TEST_F(LayoutTest, window_isFixedWhiteUntitledByLayoutAndIconless) {
    EXPECT_EQ(form->size(), QSize(490, 288));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form->windowTitle(), "Quillmere");
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));
    const QImage icon = form->windowIcon().pixmap(32, 32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(qAlpha(icon.pixel(x, y)), 0);
    // The check box and the labels are opaque white beyond their captions.
    for (const char* name : {"Check3", "Label1", "Label2"}) {
        const QImage drawn = get(name)->grab().toImage();
        EXPECT_EQ(drawn.pixelColor(drawn.width() - 3, 5), QColor(Qt::white)) << name;
    }
    // The window is centred on the 800 x 800 offscreen screen.
    EXPECT_EQ(form->pos(), QPoint(155, 256));
}

TEST_F(LayoutTest, textBoxes_lieOverTheirLabels) {
    const QPoint overlap = get("Text1")->geometry().topLeft() + QPoint(5, 0);
    EXPECT_EQ(form->childAt(overlap), get("Text1"));
    EXPECT_EQ(form->childAt(get("Text2")->geometry().topLeft() + QPoint(5, 0)), get("Text2"));
    EXPECT_EQ(form->childAt(get("Label1")->geometry().topLeft() + QPoint(5, 2)), get("Label1"));
}

TEST_F(LayoutTest, list_hasHeaderAndTheTwoColumns) {
    auto* view = get<QTreeView>("ListView1");
    EXPECT_FALSE(view->isHeaderHidden());
    ASSERT_EQ(queue().columnCount(), 2);
    EXPECT_EQ(queue().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Filename");
    EXPECT_EQ(queue().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Status");
    EXPECT_EQ(view->header()->sectionSize(0), 347);
    EXPECT_EQ(view->header()->sectionSize(1), 67);
    EXPECT_EQ(queue().rowCount(), 0);
}

TEST_F(LayoutTest, focus_startsOnTheHiddenButtonAndTabCyclesBothWays) {
    EXPECT_EQ(QApplication::focusWidget(), get("Command1"));
    const std::vector<std::string> forward = {"Check1", "Check2", "ListView1", "Text1",   "Text2",
                                              "Check3", "Check4", "Check5",    "Command1"};
    for (const std::string& name : forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    }
    for (auto it = forward.rbegin() + 1; it != forward.rend(); ++it) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        ASSERT_EQ(QApplication::focusWidget()->objectName().toStdString(), *it);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), get("Command1"));
}

TEST_F(LayoutTest, enterOrSpace_pressNoButton) {
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char* name : {"Check1", "Check2", "Check3", "Check4", "Check5"})
        spies.push_back(
            std::make_unique<QSignalSpy>(get<QAbstractButton>(name), &QAbstractButton::toggled));
    QTest::keyClick(get("Command1"), Qt::Key_Return);
    QTest::keyClick(get("Command1"), Qt::Key_Space);
    get("Text1")->setFocus();
    QTest::keyClicks(get("Text1"), "abc");
    QTest::keyClick(get("Text1"), Qt::Key_Return);
    QTest::keyClick(get("Text2"), Qt::Key_Enter);
    for (const auto& spy : spies) EXPECT_EQ(spy->count(), 0);
    EXPECT_EQ(get<QLineEdit>("Text1")->text(), "abc");
}

}  // namespace
}  // namespace qm::test
