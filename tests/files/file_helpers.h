#pragma once
// Scratch folders, whole-file reads and writes, and work run in a child process (for
// limits and identities a test must not keep).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace loomtest {

struct TempFolder {
    TempFolder()
        : path(std::filesystem::temp_directory_path() /
               ("loom_files_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

/// Runs `work` in a child process and answers the text it returned (or why it failed).
inline std::string Child(const std::function<std::string()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string text = work();
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return "the child ended abnormally";
    return text;
}

/// Runs `work` with writes limited to `bytes` per file, as a full disk limits them: a write
/// past the limit fails with EFBIG. Runs in this process (a child of a process whose
/// image library has started threads could deadlock).
template <class Work>
auto WithFileSizeLimit(rlim_t bytes, Work work) {
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    auto result = work();
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, oldHandler);
    return result;
}

/// Runs a shell command; answers its exit status and what it wrote to stderr.
inline int Shell(const std::string& command, std::string& err) {
    const std::string errFile = "/tmp/loom_files_err_" + std::to_string(::getpid());
    const int st = std::system((command + " 2>" + errFile).c_str());
    err = Slurp(errFile);
    std::remove(errFile.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace loomtest
