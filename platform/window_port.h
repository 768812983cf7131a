#pragma once
// What the logic layers read from and write to the main window.

#include <string>
#include <string_view>

namespace qm::platform {

// The program's title: the window's, and every message box's.
inline constexpr std::string_view kTitle = "Quillmere";

// The window-wide pointer shape codes.
enum class Pointer : int { Default = 0, Arrow = 1, Hourglass = 11, Custom = 99 };

class WindowPort {
public:
    virtual ~WindowPort() = default;
    // Text of the find box, as UTF-8 bytes.
    virtual std::string findText() const = 0;
    // Text of the replacement box, as UTF-8 bytes.
    virtual std::string replaceText() const = 0;
    // Whether the backup check box is ticked.
    virtual bool backupChecked() const = 0;
    // Sets the window title (UTF-8).
    virtual void setTitle(std::string_view title) = 0;
    // Current window-wide pointer code.
    virtual Pointer pointer() const = 0;
    // Sets the window-wide pointer code; the hourglass shows at once.
    virtual void setPointer(Pointer code) = 0;
};

}  // namespace qm::platform
