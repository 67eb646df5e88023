#pragma once
// Starting the helper programs of tests/helpers as separate processes, for
// tests whose target defines KESTREL_HELPER_DIR, and waiting for them.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrel::test {

inline std::string helperPath(const std::string& name) {
    return (std::filesystem::path(KESTREL_HELPER_DIR) / name).string();
}

inline pid_t spawnHelper(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> all{helperPath(name)};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    EXPECT_EQ(rc, 0) << "cannot start " << all[0];
    return rc == 0 ? pid : -1;
}

// The exit status, or 128 + the signal that ended the process.
inline int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

inline bool waitForFile(const std::filesystem::path& file) {
    for (int i = 0; i < 1000; ++i) {
        if (std::filesystem::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Whether the process has ended; its status in `status` then.
inline bool ended(pid_t pid, int& status) {
    int raw = 0;
    const pid_t r = ::waitpid(pid, &raw, WNOHANG);
    if (r != pid) return false;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

} // namespace kestrel::test
