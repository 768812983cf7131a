#pragma once
// A fresh temporary folder per test; what a folder holds; parts of a test run in a forked child
// (resource limits, another user).

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>

#include <gtest/gtest.h>

#include "files/file_error.h"

namespace qm::test {

// Removed with everything in it.
struct TempDir {
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qm-test-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::system_error(errno, std::generic_category());
        path_ = tmpl;
    }
    ~TempDir() {  // gives back the permissions a test took away, so that removal works
        std::error_code ec;
        ::chmod(path_.c_str(), 0700);
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec))
                ::chmod(it->path().c_str(), 0700);
        }
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

private:
    std::filesystem::path path_;
};

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write test file " + p.string());
}

inline std::string readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test file " + p.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in folder; a leftover "~quillmere-XXXXXX.tmp" fails the test.
inline std::set<std::string> namesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.starts_with("~quillmere-") && name.ends_with(".tmp"))
            << "temporary file left behind: " << name;
        names.insert(name);
    }
    return names;
}

// body's result, run in a forked child as the user uid (and its own group; root becomes that user
// first): 97 if it could not switch, 98 for an exception, 128 + the signal that ended it.
template <class Body>
int runAs(uid_t uid, Body&& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        int code = 97;
        try {
            if (uid == ::geteuid() ||
                (::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0))
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

// What call failed with, as a message box shows it after the path ("reason (description)"; ""
// if it succeeded), run in a forked child as the user uid. Limited, the child meets real limits
// instead of mocks: its files may not grow past 4 KiB (EFBIG part-way through a write, as the
// program ignores SIGXFSZ) and it may take only 32 MiB more memory (ENOMEM for a big file).
template <class Call>
std::string failureAs(uid_t uid, Call&& call, bool limited = false) {
    int pipe[2];
    EXPECT_EQ(::pipe(pipe), 0);
    const int code = runAs(uid, [&] {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (32u << 20);
        const rlimit size{4096, 4096}, memory{room, room};
        ::signal(SIGXFSZ, SIG_IGN);  // a write beyond the size limit fails with EFBIG
        if (limited && ::setrlimit(RLIMIT_FSIZE, &size) + ::setrlimit(RLIMIT_AS, &memory) != 0)
            return 97;
        std::string text;
        try {
            call();
        } catch (const files::FileError& e) {
            text = e.reason() + " (" + e.code().message() + ")";
        }
        return ::write(pipe[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 99;
    });
    std::string text(4096, '\0');
    text.resize(std::max<ssize_t>(0, (::close(pipe[1]), ::read(pipe[0], text.data(), 4096))));
    ::close(pipe[0]);
    return code == 0 ? text : "child ended with " + std::to_string(code);
}

}  // namespace qm::test
