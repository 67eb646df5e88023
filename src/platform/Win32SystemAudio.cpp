// This system's sound (platform/SystemServices.h).
#include "platform/SystemServices.h"
#include "platform/Win32Audio.h"

namespace kestrel {

std::unique_ptr<Audio> systemAudio() {
    return std::make_unique<Win32Audio>();
}

} // namespace kestrel
