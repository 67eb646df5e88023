#include "platform/PosixProcessLauncher.h"

#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrel {

bool PosixProcessLauncher::startDetached(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         std::string& error) {
    std::vector<std::string> args;
    args.reserve(arguments.size() + 1);
    args.push_back(program);
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
#ifdef POSIX_SPAWN_SETSID
    // Its own session: the started program outlives this one and its terminal.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
#endif
    pid_t pid = 0;
    const bool searchPath = program.find('/') == std::string::npos;
    const int rc = searchPath
                       ? posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ)
                       : posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        error = std::strerror(rc);
        return false;
    }
    // Reaped when it ends, so that no finished child lingers as a zombie.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    error.clear();
    return true;
}

bool mayStartProgram(const std::filesystem::path& file) {
    return ::access(file.c_str(), X_OK) == 0;
}

} // namespace kestrel
