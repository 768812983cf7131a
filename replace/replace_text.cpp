// Placeholder: a straightforward version until the safe writer lands.
#include "replace/replace_text.h"

#include <fstream>
#include <iterator>

namespace qm::replace {

std::string replaceAll(std::string_view content, std::string_view find,
                       std::string_view replacement) {
    if (find.empty()) return std::string(content);
    std::string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = content.find(find, at)) != std::string_view::npos;
         at = hit + find.size()) {
        out.append(content.substr(at, hit - at));
        out.append(replacement);
    }
    out.append(content.substr(at));
    return out;
}

void ReplaceInFile(const std::filesystem::path& path, std::string_view find,
                   std::string_view replacement) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::filesystem::filesystem_error(
            "cannot open", path, std::make_error_code(std::errc::no_such_file_or_directory));
    }
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    in.close();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << replaceAll(content, find, replacement);
}

}  // namespace qm::replace
