#pragma once
// Programs that tests start as separate processes, as the PCs of a
// classroom are: the helpers of tests/helpers/ and the project's commands.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrel::test {

// A helper program built beside the test binaries.
inline std::string helperProgram(const std::string& name) {
    return (std::filesystem::path(KESTREL_BINARY_DIR) / "tests" / name).string();
}

// Starts `program` with `args`, its standard output (and error) into
// `output` and its standard input from `input` when they are given. -1
// when it cannot be started.
inline pid_t spawnProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& output = {},
                          const std::filesystem::path& input = {}) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// The exit status, or 128 + the signal that ended the process. A process
// still running after `limit` is killed (status 128 + SIGKILL): never a hang.
inline int waitForExit(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(300)) {
    if (pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

} // namespace kestrel::test
