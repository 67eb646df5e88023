// This system's process start (platform/SystemServices.h).
#include "platform/PosixProcessLauncher.h"
#include "platform/SystemServices.h"

namespace kestrel {

std::unique_ptr<ProcessLauncher> systemProcessLauncher() {
    return std::make_unique<PosixProcessLauncher>();
}

} // namespace kestrel
