#include "platform/PosixAudio.h"
#include "platform/SystemServices.h"

#include <SDL.h>

#include <chrono>
#include <string>

namespace kestrel {
namespace {

// A short device buffer, so that the tail after the queue has drained is brief.
constexpr Uint16 kDeviceSamples = 1024;
// Allowance over the sound's own length before a play counts as stuck.
constexpr double kMarginSeconds = 2.0;
constexpr double kMarginFactor = 0.5;

PlayResult failure(const std::string& fileName, const std::string& problem) {
    std::string text = "音ファイル「" + fileName + "」" + problem;
    const char* sdl = SDL_GetError();
    if (sdl && *sdl) text += "（" + std::string(sdl) + "）";
    return {false, text};
}

double lengthSeconds(const SDL_AudioSpec& spec, Uint32 bytes) {
    const double frameBytes = SDL_AUDIO_BITSIZE(spec.format) / 8.0 * spec.channels;
    if (frameBytes <= 0 || spec.freq <= 0) return 0;
    return bytes / frameBytes / spec.freq;
}

} // namespace

PlayResult loadWavFile(const std::filesystem::path& wavFile) {
    const std::string fileName = wavFile.string();
    SDL_ClearError();
    SDL_AudioSpec spec{};
    Uint8* samples = nullptr;
    Uint32 bytes = 0;
    if (!SDL_LoadWAV(fileName.c_str(), &spec, &samples, &bytes))
        return failure(fileName, "を読めません");
    SDL_FreeWAV(samples);
    if (bytes == 0) return {false, "音ファイル「" + fileName + "」に音がありません"};
    return {};
}

PosixAudio::~PosixAudio() {
    if (m_initialised) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

PlayResult PosixAudio::playToEnd(const std::filesystem::path& wavFile) {
    const std::string fileName = wavFile.string();
    SDL_ClearError();
    if (!m_initialised) {
        // The program's own watcher ends it on a log-off; SDL's handlers
        // would only post a quit event that nobody reads.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // Retried on the next play when it fails: a device may come back.
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return failure(fileName, "を鳴らせません。音声の装置が使えません");
        m_initialised = true;
    }

    SDL_AudioSpec spec{};
    Uint8* samples = nullptr;
    Uint32 bytes = 0;
    if (!SDL_LoadWAV(fileName.c_str(), &spec, &samples, &bytes))
        return failure(fileName, "を読めません");

    spec.samples = kDeviceSamples;
    spec.callback = nullptr;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts the sound to whatever the device needs.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &spec, &obtained, 0);
    if (device == 0) {
        SDL_FreeWAV(samples);
        return failure(fileName, "を鳴らせません。音声の装置を開けません");
    }
    const int queued = SDL_QueueAudio(device, samples, bytes);
    SDL_FreeWAV(samples);
    if (queued != 0) {
        PlayResult r = failure(fileName, "を鳴らせません");
        SDL_CloseAudioDevice(device);
        return r;
    }

    const double length = lengthSeconds(spec, bytes);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline =
        start + std::chrono::duration<double>(length * (1 + kMarginFactor) + kMarginSeconds);
    SDL_PauseAudioDevice(device, 0);
    while (SDL_GetQueuedAudioSize(device) > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            SDL_CloseAudioDevice(device);
            SDL_ClearError();
            return failure(fileName, "の再生が終わりません");
        }
        SDL_Delay(5);
    }
    // The device is still playing the last buffer it took from the queue.
    if (obtained.freq > 0)
        SDL_Delay(static_cast<Uint32>(obtained.samples * 1000 / obtained.freq) + 5);
    SDL_CloseAudioDevice(device);
    return {};
}

} // namespace kestrel
