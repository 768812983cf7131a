#pragma once
// Modal message boxes titled with the application title, without an icon.

#include <string_view>

namespace qm::platform {

enum class Buttons { Ok, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows text (UTF-8) modally and returns the button that closed the box.
    virtual Answer show(std::string_view text, Buttons buttons) = 0;
};

}  // namespace qm::platform
