#pragma once
// Audio through SDL2: loads a WAV file, queues it on an audio device opened
// for it and waits until it has played out. The audio subsystem is started
// on the first play and stopped with the object.
#include "platform/Audio.h"

namespace kestrel {

class SdlAudio : public Audio {
public:
    SdlAudio() = default;
    ~SdlAudio() override;
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    PlayResult playToEnd(const std::filesystem::path& wavFile) override;

private:
    bool m_initialised = false;
};

// Loads a WAV file as a play does and lets it go, without a sound device
// and without a sound: whether the file would play, with SDL's text when not.
PlayResult loadWavFile(const std::filesystem::path& wavFile);

} // namespace kestrel
