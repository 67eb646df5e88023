// This system's process start (platform/SystemServices.h).
#include "platform/SystemServices.h"
#include "platform/Win32ProcessLauncher.h"

namespace kestrel {

std::unique_ptr<ProcessLauncher> systemProcessLauncher() {
    return std::make_unique<Win32ProcessLauncher>();
}

} // namespace kestrel
