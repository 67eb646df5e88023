#pragma once
// Audio through Windows' multimedia control interface: plays a WAV file
// to its end ("play ... wait") before it returns.
#include "platform/Audio.h"

namespace kestrel {

class Win32Audio : public Audio {
public:
    PlayResult playToEnd(const std::filesystem::path& wavFile) override;
};

// Opens a WAV file as a play does and closes it, without a sound: whether
// the file would play on this PC, with the system's text when not.
PlayResult loadWavFile(const std::filesystem::path& wavFile);

} // namespace kestrel
