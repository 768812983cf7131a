#pragma once
// Runs part of a test in a forked child, for what must not touch the test
// process itself: resource limits, another user.

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace qm::test {

// The child's exit code (98 for an exception), or 128 + the signal that ended it.
template <class Body>
int runInChild(Body&& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        int code = 98;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The error number that call failed with, 0 if it succeeded.
template <class Call>
int errorOf(Call&& call) {
    try {
        call();
        return 0;
    } catch (const std::filesystem::filesystem_error& e) {
        return e.code().value();
    }
}

}  // namespace qm::test
