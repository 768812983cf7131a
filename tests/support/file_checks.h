#pragma once
// Checks shared by the tests of the write path: what a folder holds, and parts
// of a test run in a forked child (resource limits, another user).

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace qm::test {

// The names in folder; a leftover "~quillmere-XXXXXX.tmp" fails the test unless allowed.
inline std::set<std::string> namesIn(const std::filesystem::path& folder, bool allowTemps = false) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const bool temp =
            name.starts_with("~quillmere-") && name.ends_with(".tmp") && name.size() == 21;
        if (!temp)
            names.insert(name);
        EXPECT_TRUE(!temp || allowTemps) << "temporary file left behind: " << name;
    }
    return names;
}

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

// runInChild(body) as the user uid (and its own group): root becomes that user first.
template <class Body>
int runAs(uid_t uid, Body&& body) {
    return runInChild([&] {
        if (uid != ::geteuid() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
            return 97;
        return body();
    });
}

// The error number that call failed with, 0 if it succeeded.
template <class Call>
int errorOf(Call&& call) {
    try {
        call();
        return 0;
    } catch (const platform::FileError& e) {
        return e.code().value();
    }
}

// errorOf(call) in a child with real limits instead of mocks: its files may not
// grow past 4 KiB (EFBIG part-way through a write, as the program ignores
// SIGXFSZ) and it may take only 32 MiB more memory (ENOMEM for a big file).
template <class Call>
int errorUnderLimits(Call&& call) {
    return runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{4096, 4096};
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (32u << 20);
        const rlimit memory{room, room};
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0 || ::setrlimit(RLIMIT_AS, &memory) != 0)
            return 97;
        return errorOf(call);
    });
}

}  // namespace qm::test
