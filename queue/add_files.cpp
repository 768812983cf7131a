#include "queue/add_files.h"

#include <string>
#include <utility>
#include <vector>

namespace qm::queue {

void addFilesFromDialog(FileQueue& queue, platform::FileDialogs& dialogs) {
    const std::string selection = dialogs.showOpen(kOpenFlags, kOpenTitle, kOpenFilter);
    if (selection.empty())
        return;

    std::vector<std::string_view> parts;
    const std::string_view all(selection);
    for (std::size_t start = 0;;) {
        const std::size_t nul = all.find('\0', start);
        parts.push_back(all.substr(start, nul - start));
        if (nul == std::string_view::npos)
            break;
        start = nul + 1;
    }

    std::vector<platform::QueueEntry> rows;
    if (parts.size() == 1) {
        rows.push_back({std::filesystem::path(std::string(parts[0])), kQueued});
    } else {
        // A file in the root folder: the folder already ends in the separator.
        std::string folder(parts[0]);
        if (folder.empty() || folder.back() != '/')
            folder.push_back('/');
        rows.reserve(parts.size() - 1);
        for (std::size_t k = 1; k < parts.size(); ++k) {
            rows.push_back({std::filesystem::path(folder + std::string(parts[k])), kQueued});
        }
    }
    queue.append(std::move(rows));
}

}  // namespace qm::queue
