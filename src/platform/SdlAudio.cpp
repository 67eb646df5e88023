#include "platform/SdlAudio.h"

namespace kestrel {

SdlAudio::~SdlAudio() = default;

PlayResult SdlAudio::playToEnd(const std::filesystem::path&) {
    return {false, "not ready"};
}

} // namespace kestrel
