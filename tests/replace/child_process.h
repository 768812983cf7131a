#pragma once
// Runs a piece of a test in a forked child, for what must not touch the test
// process itself: resource limits, another user, a SIGKILL.

#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <system_error>

namespace qm::test {

// The child's exit code, or 128 + the signal that ended it.
template <class Body>
int runInChild(Body&& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In a child: the error number a call failed with, 0 if it succeeded.
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
