#pragma once
// The open-file dialog and folder picker as Qt's own (non-native) dialogs.

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "platform/file_dialogs.h"

namespace qm::platform {

class QtFileDialogs final : public FileDialogs {
public:
    // parent owns the dialogs while they are shown; it may be null.
    explicit QtFileDialogs(QWidget* parent) : parent_(parent) {}
    std::string showOpen(std::uint32_t flags, std::string_view title,
                         std::string_view filter) override;
    std::filesystem::path browseForFolder(std::string_view prompt) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace qm::platform
