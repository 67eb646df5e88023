#pragma once
// Audio through Windows' multimedia control interface: plays a WAV file
// to its end ("play ... wait") before it returns.
#include "platform/Audio.h"

namespace kestrel {

class Win32Audio : public Audio {
public:
    PlayResult playToEnd(const std::filesystem::path& wavFile) override;
};

} // namespace kestrel
