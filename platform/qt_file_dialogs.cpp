#include "platform/qt_file_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <utility>
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

// Qt's name filters for a filter text of "description|patterns|..." pairs.
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

// The open dialog as Qt's own, with what every open dialog does beyond it: a
// wildcard typed into the name box filters the listing instead of being taken
// as a name; and, unless the caller asked for existing files only, names that
// do not exist yet are taken, several at once, which Qt's dialog refuses in
// its multiple-file mode.
class OpenDialog final : public QFileDialog {
public:
    OpenDialog(QWidget* parent, const QString& title, QStringList filters, bool mustExist)
        : QFileDialog(parent, title), filters_(std::move(filters)), mustExist_(mustExist) {
        setOption(QFileDialog::DontUseNativeDialog);
        // The box shows the names picked in the list, and the names are read back from it:
        // a text box's usual limit of 32,767 characters would cut a long selection short.
        if (QLineEdit* box = nameBox())
            box->setMaxLength(std::numeric_limits<int>::max());
    }

    // The names the dialog was accepted with, as full paths.
    const QStringList& chosen() const { return chosen_; }

    void accept() override {
        const QStringList files = typedFiles();
        QStringList patterns;
        bool anyFolder = false;
        bool allExist = true;
        for (const QString& file : files) {
            const QFileInfo info(file);
            const QString name = info.fileName();
            if (!info.exists() &&
                (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))))
                patterns << file;
            anyFolder = anyFolder || info.isDir();
            allExist = allExist && info.exists();
        }
        if (!patterns.isEmpty()) {
            showMatching(patterns);
            return;
        }
        if (files.isEmpty() || (anyFolder && files.size() > 1))
            return;  // several names that include a folder are not a choice of files
        chosen_ = files;
        if (allExist || anyFolder || mustExist_) {
            // Qt's own: a folder opens, ".." goes up, a missing name is refused.
            QFileDialog::accept();
        } else {
            QDialog::accept();  // NOLINT(bugprone-parent-virtual-call): past Qt's refusal
        }
    }

private:
    // Every name in the name box, read as the dialog reads typed names: "~"
    // expanded, a relative name below the folder shown. The dialog also selects
    // those of several names in quotes that exist, and selectedFiles() then
    // gives only the selection. Selecting the box's own text clears that
    // selection and leaves the text as it is (it begins with a quote, so it
    // names no folder to go to), and selectedFiles() reads the box again.
    QStringList typedFiles() {
        if (const QLineEdit* box = nameBox(); box && box->text().startsWith(QLatin1Char('"')))
            selectFile(box->text());
        return selectedFiles();
    }

    // The name box, found as a user finds it: the field the "File name:" label names.
    QLineEdit* nameBox() const {
        const QString caption = labelText(QFileDialog::FileName);
        for (const QLabel* label : findChildren<QLabel*>()) {
            if (label->text() == caption)
                return qobject_cast<QLineEdit*>(label->buddy());
        }
        return nullptr;
    }

    // Lists the names that patterns match, in the folder of the first of them
    // when it names one; the filter list shows them as a filter of their own.
    void showMatching(const QStringList& patterns) {
        const QFileInfo first(patterns.front());
        if (first.dir().exists())
            setDirectory(first.dir());
        QStringList names;
        for (const QString& pattern : patterns) names << QFileInfo(pattern).fileName();
        const QString filter = names.join(QLatin1Char(' '));
        setNameFilters(filters_ + QStringList{filter});
        selectNameFilter(filter);
    }

    QStringList filters_;  // the caller's filters, without one typed before
    bool mustExist_;
    QStringList chosen_;
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

std::string QtFileDialogs::showOpen(std::uint32_t flags, std::string_view title,
                                    std::string_view filter) {
    const bool many = (flags & kAllowMultiSelect) != 0;
    const bool mustExist = (flags & (kFileMustExist | kPathMustExist)) != 0;
    const QStringList filters = nameFiltersFor(filter);
    OpenDialog dialog(parent_.data(), qtText(title), filters, mustExist);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The existing-files modes pick several rows, or one, in the file views
    // alone; the dialog itself takes names that do not exist yet.
    dialog.setFileMode(many ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setModal(true);
    if (dialog.exec() != QDialog::Accepted)
        return {};

    std::vector<std::string> paths;
    for (const QString& file : dialog.chosen()) {
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
