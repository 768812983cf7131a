// The Qt side of the window port, the toggle button and the settings store.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QWidget>

#include "platform/qt_settings_store.h"
#include "platform/qt_toggle_button.h"
#include "platform/qt_window_port.h"
#include "support/temp_dir.h"

namespace qm::test {
namespace {

using platform::Pointer;

struct PortWidgets {
    QWidget window;
    QLineEdit* find = new QLineEdit(&window);
    QLineEdit* replacement = new QLineEdit(&window);
    QCheckBox* backup = new QCheckBox(&window);
    platform::QtWindowPort port{window, *find, *replacement, *backup};
};

struct QtWindowPortTest : PortWidgets, ::testing::Test {};

TEST_F(QtWindowPortTest, textsAreUtf8AndTheTitleIsSet) {
    find->setText(QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
    replacement->setText("plain");
    backup->setChecked(true);
    EXPECT_EQ(port.findText(), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(port.replaceText(), "plain");
    EXPECT_TRUE(port.backupChecked());
    port.setTitle("Quillmere [ Done! ]");
    EXPECT_EQ(window.windowTitle(), "Quillmere [ Done! ]");
}

TEST_F(QtWindowPortTest, pointerCodes_showTheirShapes) {
    EXPECT_EQ(port.pointer(), Pointer::Default);
    struct Case {
        Pointer code;
        Qt::CursorShape shape;
    };
    for (const Case& c :
         {Case{Pointer::Arrow, Qt::ArrowCursor}, Case{Pointer::Custom, Qt::PointingHandCursor},
          Case{Pointer::Default, Qt::ArrowCursor}}) {
        port.setPointer(c.code);
        EXPECT_EQ(port.pointer(), c.code);
        EXPECT_EQ(window.cursor().shape(), c.shape);
    }
    QPixmap hand(16, 16);
    hand.fill(Qt::black);
    port.setCustomCursor(QCursor(hand, 3, 4));
    port.setPointer(Pointer::Custom);
    EXPECT_EQ(window.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(window.cursor().hotSpot(), QPoint(3, 4));
}

TEST_F(QtWindowPortTest, hourglass_coversTheApplicationUntilAnotherCode) {
    port.setPointer(Pointer::Custom);
    port.setPointer(Pointer::Hourglass);
    port.setPointer(Pointer::Hourglass);  // set twice, taken away once
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    port.setPointer(Pointer::Arrow);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
}

TEST(QtWindowPortLifetime, destroyedDuringTheHourglass_takesItAway) {
    {
        PortWidgets f;
        f.port.setPointer(Pointer::Hourglass);
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtToggleButton, setValueRaisesTheClickOncePerChange) {
    QPushButton button;
    button.setCheckable(true);
    platform::QtToggleButton toggle(button);
    QSignalSpy clicks(&button, &QAbstractButton::toggled);
    toggle.setValue(1);
    toggle.setValue(1);
    EXPECT_EQ(toggle.value(), 1);
    toggle.setValue(0);
    EXPECT_EQ(toggle.value(), 0);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(QtSettingsStore, writesExactTextUnderTheSectionAndReadsItBack) {
    TempDir dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QFile::decodeName(dir.path().c_str()));
    platform::QtSettingsStore store;
    EXPECT_EQ(store.read("Quillmere", "BackupCheck"), "");
    store.write("Quillmere", "BackupCheck", "False");
    EXPECT_EQ(readBytes(dir / "Dranvik.ini"), "[Quillmere]\nBackupCheck=False\n");
    store.write("Quillmere", "BackupCheck", "True");
    EXPECT_EQ(store.read("Quillmere", "BackupCheck"), "True");
    EXPECT_EQ(readBytes(dir / "Dranvik.ini"), "[Quillmere]\nBackupCheck=True\n");
}

TEST(QtSettingsStore, failedWrite_throwsWithTheFilesPath) {
    TempDir dir;
    writeBytes(dir / "plain", "");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QFile::decodeName((dir / "plain").c_str()));
    platform::QtSettingsStore store;
    try {
        store.write("Quillmere", "BackupCheck", "True");
        FAIL() << "no exception";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_EQ(e.path1(), dir / "plain" / "Dranvik.ini");
        EXPECT_EQ(e.code(), std::errc::permission_denied);
    }
}

}  // namespace
}  // namespace qm::test
