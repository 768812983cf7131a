#pragma once
// What the program takes on its command line: the files and folders a desktop's "Open With"
// hands it, or a request for its usage text.

#include <filesystem>
#include <vector>

namespace qm::window {

struct CommandLine {
    enum class Action {
        OpenWindow,   // open the window, then queue what was given
        ShowUsage,    // --help or --version: the usage text on standard output, exit 0
        RefuseUsage,  // any other option: the usage text on standard error, exit 2
    };
    Action action = Action::OpenWindow;
    std::vector<std::filesystem::path> given;  // files and folders, made absolute, in order
};

// The one text --help and --version print, with the program's version; no final newline.
const char* usageText();

// Reads argv[1..argc-1] as given, bytes unchanged; "--" ends the options.
CommandLine readCommandLine(int argc, const char* const* argv);

}  // namespace qm::window
