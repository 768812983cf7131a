// The text of a failure as the user reads it: the path on a line of its own, then the program's
// reason and the system's description; a failure that is not a file's says what the system says.
#include "files/file_error.h"

#include <new>

namespace qm::files {

std::string failureText(const std::exception& failure) {
    if (const auto* fileError = dynamic_cast<const FileError*>(&failure)) {
        return fileError->path().native() + '\n' + fileError->reason() + " (" +
               fileError->code().message() + ')';
    }
    if (const auto* systemError = dynamic_cast<const std::system_error*>(&failure))
        return systemError->code().message();
    if (dynamic_cast<const std::bad_alloc*>(&failure))
        return std::make_error_code(std::errc::not_enough_memory).message();
    return failure.what();
}

}  // namespace qm::files
