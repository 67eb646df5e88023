#pragma once
// Starting the helper programs of tests/helpers as separate processes, for
// tests whose target defines KESTREL_HELPER_DIR, and waiting for them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/Processes.h"

namespace kestrel::test {

inline std::string helperPath(const std::string& name) {
    return (std::filesystem::path(KESTREL_HELPER_DIR) / name).string();
}

inline pid_t spawnHelper(const std::string& name, const std::vector<std::string>& args) {
    const pid_t pid = spawnProgram(helperPath(name), args);
    EXPECT_GT(pid, 0) << "cannot start " << name;
    return pid;
}

// The exit status, or 128 + the signal that ended the process.
inline int waitFor(pid_t pid) {
    return waitForExit(pid);
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
