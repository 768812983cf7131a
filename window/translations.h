#pragma once
// Qt's own texts (standard buttons, the file dialog) in the user's language. The program's own
// texts are not translated.

#include <QLocale>
#include <QTranslator>
#include <memory>

namespace qm::window {

// Loads and installs Qt's translations (qtbase_*.qm from Qt's translations folder) for locale;
// null when there are none. Destroying the translator uninstalls it. Needs a QCoreApplication.
std::unique_ptr<QTranslator> installQtTranslations(const QLocale& locale);

}  // namespace qm::window
