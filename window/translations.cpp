#include "window/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace qm::window {

std::unique_ptr<QTranslator> installQtTranslations(const QLocale& locale) {
    auto translator = std::make_unique<QTranslator>();
    // Tries each of the locale's languages in turn, e.g. de_DE, then de.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return nullptr;
    }
    return translator;
}

}  // namespace qm::window
