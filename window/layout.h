#pragma once
// The main window's layout, in twips as designed: one table for every control.

#include <array>
#include <string_view>

namespace qm::window {

// 15 twips make one pixel at 96 dots per inch.
inline constexpr double kTwipsPerInch = 1440.0;

// Converts twips to pixels at the given dots per inch, to the nearest pixel.
int twipsToPixels(int twips, double dotsPerInch);

enum class ControlKind { ListView, ToggleButton, CheckBox, Label, TextBox, PushButton };
enum class ControlFont { Small, Large, PlatformDefault };  // Arial bold 9 pt, 11.25 pt

inline constexpr double kSmallFontPoints = 9.0;
inline constexpr double kLargeFontPoints = 11.25;

struct ControlLayout {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    int left, top, width, height;  // twips, from the client area's top-left corner
    ControlFont font;
    int tabIndex;
};

inline constexpr int kClientWidth = 7350;   // twips
inline constexpr int kClientHeight = 4320;  // twips
inline constexpr std::string_view kLayoutTitle = "Form1";

// Listed from the top of the window to the bottom; labels come before the text
// boxes under them so that each box is drawn over its label.
inline constexpr std::array<ControlLayout, 11> kControls = {{
    {"ListView1", ControlKind::ListView, "", 120, 120, 7095, 1575, ControlFont::Small, 3},
    {"Check1", ControlKind::ToggleButton, "Add Files", 120, 1800, 1935, 420, ControlFont::Large, 1},
    {"Check5", ControlKind::ToggleButton, "Add All File(s) In Folder", 2160, 1800, 3135, 400,
     ControlFont::Large, 10},
    {"Check4", ControlKind::ToggleButton, "Clear List", 5400, 1800, 1815, 400, ControlFont::Large,
     9},
    {"Label1", ControlKind::Label, "Find What:", 120, 2280, 7095, 255, ControlFont::Small, 6},
    {"Text1", ControlKind::TextBox, "", 120, 2520, 7095, 330, ControlFont::Small, 4},
    {"Label2", ControlKind::Label, "Replace With:", 120, 2880, 6015, 255, ControlFont::Small, 7},
    {"Text2", ControlKind::TextBox, "", 120, 3120, 7095, 330, ControlFont::Small, 5},
    {"Check3", ControlKind::CheckBox, "Make backup of files before replace", 120, 3480, 3855, 255,
     ControlFont::Small, 8},
    {"Check2", ControlKind::ToggleButton, "Replace Text", 120, 3800, 7095, 420, ControlFont::Large,
     2},
    {"Command1", ControlKind::PushButton, "Command1", -720, 2640, 615, 495,
     ControlFont::PlatformDefault, 0},
}};

// The file queue's columns, added at start-up.
struct ColumnLayout {
    std::string_view caption;
    int width;  // twips
};
inline constexpr std::array<ColumnLayout, 2> kColumns = {{{"Filename", 5200}, {"Status", 1000}}};

inline constexpr std::string_view kListToolTip = "Double-click item to remove it.";

// What screen readers say of the controls whose captions do not say it. The
// hidden button holds the focus when the window opens.
inline constexpr std::string_view kListAccessibleName = "File queue";
inline constexpr std::string_view kHiddenButtonDescription = "Press Tab to reach the controls.";

}  // namespace qm::window
