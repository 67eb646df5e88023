#pragma once
// Audio through SDL2: loads a WAV file, queues it on an audio device opened
// for it and waits until it has played out. The audio subsystem is started
// on the first play and stopped with the object.
#include "platform/Audio.h"

namespace kestrel {

class PosixAudio : public Audio {
public:
    PosixAudio() = default;
    ~PosixAudio() override;
    PosixAudio(const PosixAudio&) = delete;
    PosixAudio& operator=(const PosixAudio&) = delete;

    PlayResult playToEnd(const std::filesystem::path& wavFile) override;

private:
    bool m_initialised = false;
};

} // namespace kestrel
