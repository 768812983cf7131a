#pragma once
// The per-user settings store as an INI file kept by QSettings: one file per
// application (Dranvik.ini in the user's configuration folder), one group per section.

#include <QString>

#include "platform/settings_store.h"

namespace qm::platform {

class QtSettingsStore final : public SettingsStore {
public:
    explicit QtSettingsStore(QString application = QStringLiteral("Dranvik"))
        : application_(std::move(application)) {}
    std::string read(std::string_view section, std::string_view key) const override;
    void write(std::string_view section, std::string_view key, std::string_view text) override;

private:
    QString application_;
};

}  // namespace qm::platform
