#include "window/command_line.h"

#include <string_view>
#include <system_error>

namespace qm::window {

const char* usageText() {
    return "Quillmere " QM_VERSION
           "\n"
           "Usage: quillmere [FILE | FOLDER]...\n"
           "Opens the window with each FILE queued and each FOLDER's files imported.\n"
           "Options: --help and --version show this text.";
}

CommandLine readCommandLine(int argc, const char* const* argv) {
    CommandLine command;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "--version")) {
            command.action = CommandLine::Action::ShowUsage;
        } else if (options && arg.starts_with('-')) {
            command.action = CommandLine::Action::RefuseUsage;
            return command;
        } else if (!arg.empty()) {
            // Queue rows hold full paths; a path that cannot be made absolute stays as given.
            std::error_code error;
            std::filesystem::path path(arg);
            std::filesystem::path full = std::filesystem::absolute(path, error);
            command.given.push_back(error ? path : full);
        }
    }
    return command;
}

}  // namespace qm::window
