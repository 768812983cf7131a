#include "platform/qt_file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QStringList>
#include <QTreeView>
#include <algorithm>
#include <vector>

#include "platform/qt_text.h"

namespace qm::platform {

namespace {

constexpr std::uint32_t kAllowMultiSelect = 0x200;
constexpr std::uint32_t kPathMustExist = 0x800;
constexpr std::uint32_t kFileMustExist = 0x1000;

std::string encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The names in the dialog's name box, as full paths. The box holds what the
// user typed or, after a click in the list, the chosen names: one bare name,
// or several names each in double quotes. Qt's own reading of several names
// drops those that do not exist as soon as one of them does.
QStringList typedPaths(const QFileDialog& dialog) {
    const auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString text = edit ? edit->text() : QString();
    QStringList names;
    if (!text.contains(QLatin1Char('"'))) {
        names.append(text.trimmed());
    } else {
        const QStringList tokens = text.split(QLatin1Char('"'));
        for (qsizetype i = 1; i < tokens.size(); i += 2) names.append(tokens[i]);
    }
    QStringList paths;
    for (const QString& name : names) {
        if (!name.isEmpty())
            paths.append(QFileInfo(name).isAbsolute() ? name : dialog.directory().filePath(name));
    }
    return paths;
}

// An open dialog that takes names which do not exist yet, several at once.
// Qt's own dialog refuses those in its multiple-file mode, but the caller did
// not ask for existing files only, so typed names are returned as typed.
class OpenAnyDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList files = typedPaths(*this);
        if (files.size() <= 1) {
            QFileDialog::accept();  // one name: a folder opens, a file is taken
            return;
        }
        // Several names that include a folder are not a selection of files.
        for (const QString& file : files) {
            if (QFileInfo(file).isDir())
                return;
        }
        // Past QFileDialog's own check, which would refuse the names that do not exist.
        QDialog::accept();  // NOLINT(bugprone-parent-virtual-call)
    }
};

// The folder that holds every path, and each path below it. The names the
// dialog returns usually share one folder, but typed names may lie elsewhere.
std::string selectionText(const std::vector<std::string>& paths) {
    if (paths.size() == 1)
        return paths.front();
    std::string folder = paths.front().substr(0, paths.front().rfind('/'));
    const auto below = [&](const std::string& p) {
        return p.size() > folder.size() + 1 && p.compare(0, folder.size(), folder) == 0 &&
               p[folder.size()] == '/';
    };
    while (!std::all_of(paths.begin(), paths.end(), below)) {
        folder.resize(folder.rfind('/'));
    }
    std::string text = folder.empty() ? "/" : folder;
    for (const auto& p : paths) {
        text += '\0';
        text.append(p, folder.size() + 1);
    }
    return text;
}

}  // namespace

QStringList nameFiltersFor(std::string_view filter) {
    // "description|patterns|description|patterns|", patterns separated by ";".
    // Qt reads the patterns from the parentheses at the end of each filter,
    // separated by spaces; "*.*" means every name, with or without a dot.
    QStringList fields = qtText(filter).split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString description = fields[i].trimmed();
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) {
            description = description.left(open).trimmed();
        }
        QStringList patterns;
        for (const QString& pattern : fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            if (p.isEmpty())
                continue;
            patterns.append(p == QLatin1String("*.*") ? QStringLiteral("*") : p);
        }
        if (patterns.isEmpty())
            continue;
        patterns.removeDuplicates();
        result.append(description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')'));
    }
    return result;
}

std::string QtFileDialogs::showOpen(std::uint32_t flags, std::string_view title,
                                    std::string_view filter) {
    const bool many = (flags & kAllowMultiSelect) != 0;
    const bool mustExist = (flags & (kFileMustExist | kPathMustExist)) != 0;
    OpenAnyDialog dialog(parent_.data(), qtText(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (mustExist) {
        dialog.setFileMode(many ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    } else {
        dialog.setFileMode(QFileDialog::AnyFile);
        if (many) {
            // AnyFile picks one row; the views take several once told so.
            for (auto* view : dialog.findChildren<QAbstractItemView*>()) {
                if (qobject_cast<QListView*>(view) || qobject_cast<QTreeView*>(view)) {
                    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
                }
            }
        }
    }
    const QStringList filters = nameFiltersFor(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setModal(true);
    if (dialog.exec() != QDialog::Accepted)
        return {};

    // Without the must-exist flags every typed name counts, existing or not.
    const QStringList files = mustExist ? dialog.selectedFiles() : typedPaths(dialog);
    std::vector<std::string> paths;
    for (const QString& file : files) {
        if (!file.isEmpty())
            paths.push_back(encoded(file));
    }
    return paths.empty() ? std::string() : selectionText(paths);
}

std::filesystem::path QtFileDialogs::browseForFolder(std::string_view prompt) {
    QFileDialog dialog(parent_.data(), qtText(prompt));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setModal(true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::filesystem::path() : std::filesystem::path(encoded(chosen[0]));
}

}  // namespace qm::platform
