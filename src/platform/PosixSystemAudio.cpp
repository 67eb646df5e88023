// This system's sound (platform/SystemServices.h).
#include "platform/PosixAudio.h"
#include "platform/SystemServices.h"

namespace kestrel {

std::unique_ptr<Audio> systemAudio() {
    return std::make_unique<PosixAudio>();
}

} // namespace kestrel
