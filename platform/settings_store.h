#pragma once
// The per-user store of text values addressed by application, section and key.

#include <string>
#include <string_view>

namespace qm::platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or empty text when the value is absent or unreadable.
    virtual std::string read(std::string_view section, std::string_view key) const = 0;
    // Stores text and flushes it to disk; throws std::system_error when that fails.
    virtual void write(std::string_view section, std::string_view key, std::string_view text) = 0;
};

}  // namespace qm::platform
