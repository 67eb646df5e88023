#pragma once
// Starts a program in a new process with posix_spawn: no shell, so the
// arguments reach it exactly as given, and no waiting for it to end.
#include "platform/ProcessLauncher.h"

namespace kestrel {

class PosixProcessLauncher : public ProcessLauncher {
public:
    // A program named without "/" is looked up in PATH. The child is reaped
    // in the background when it ends.
    bool startDetached(const std::string& program, const std::vector<std::string>& arguments,
                       std::string& error) override;
};

} // namespace kestrel
