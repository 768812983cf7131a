#include "platform/qt_settings_store.h"

#include "files/file_error.h"
#include "platform/qt_text.h"

#include <QFile>
#include <QSettings>
#include <filesystem>
#include <system_error>

namespace qm::platform {

namespace {

QString keyPath(std::string_view section, std::string_view key) {
    return qtText(section) + QLatin1Char('/') + qtText(key);
}

// What QSettings reported: it names no system error, so none is made up.
class SettingsStatus final : public std::error_category {
public:
    const char* name() const noexcept override { return "QSettings"; }
    std::string message(int status) const override {
        return status == QSettings::FormatError ? "format error" : "access error";
    }
};

const std::error_category& settingsStatus() {
    static const SettingsStatus category;
    return category;
}

}  // namespace

std::string QtSettingsStore::read(std::string_view section, std::string_view key) const {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, application_);
    const QVariant value = settings.value(keyPath(section, key));
    // Anything that is not plain text (a list, a damaged entry) reads as empty.
    if (settings.status() != QSettings::NoError || value.typeId() != QMetaType::QString) {
        return {};
    }
    return value.toString().toStdString();
}

void QtSettingsStore::write(std::string_view section, std::string_view key, std::string_view text) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, application_);
    settings.setValue(keyPath(section, key), qtText(text));
    // Flushed now, so that the value survives the program being killed.
    settings.sync();
    if (settings.status() == QSettings::NoError) {
        return;
    }
    throw files::FileError(
        std::filesystem::path(QFile::encodeName(settings.fileName()).toStdString()),
        "cannot save the setting", std::error_code(settings.status(), settingsStatus()));
}

}  // namespace qm::platform
