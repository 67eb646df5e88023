#include "platform/PosixAudio.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cmath>
#include <cstdint>

#include "support/Fakes.h"

namespace kestrel::test {
namespace {

void putLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

// A 16-bit mono PCM file holding a 440 Hz tone.
std::string sineWav(double seconds, uint32_t rate = 22050) {
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    std::string data;
    for (uint32_t i = 0; i < frames; ++i)
        putLittleEndian(data,
                        static_cast<uint16_t>(
                            static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / rate))),
                        2);
    std::string wav = "RIFF";
    putLittleEndian(wav, 36 + static_cast<uint32_t>(data.size()), 4);
    wav += "WAVEfmt ";
    putLittleEndian(wav, 16, 4);
    putLittleEndian(wav, 1, 2); // PCM
    putLittleEndian(wav, 1, 2); // mono
    putLittleEndian(wav, rate, 4);
    putLittleEndian(wav, rate * 2, 4);
    putLittleEndian(wav, 2, 2);
    putLittleEndian(wav, 16, 2);
    wav += "data";
    putLittleEndian(wav, static_cast<uint32_t>(data.size()), 4);
    return wav + data;
}

double secondsToPlay(PosixAudio& audio, const std::filesystem::path& file, PlayResult& result) {
    const auto start = std::chrono::steady_clock::now();
    result = audio.playToEnd(file);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A play returns once the sound is over, never before: the drill's hint
// stays up while its cue plays. A file that cannot play fails with its name
// at once, before any sound would have ended.
TEST(PosixAudioTest, PlaysAWavToItsEndAndFailsAtOnceWithAText) {
    TempDir dir;
    writeBytes(dir / "音.wav", sineWav(0.5));
    writeBytes(dir / "text.wav", "これは音ではありません\r\n");
    writeBytes(dir / "cut.wav", sineWav(0.5).substr(0, 30));
    PosixAudio audio;
    double shortest = 1e9;
    for (int i = 0; i < 2; ++i) { // the device is opened afresh for each sound
        PlayResult result;
        const double took = secondsToPlay(audio, dir / "音.wav", result);
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_GE(took, 0.4) << "returned before the sound's end";
        shortest = std::min(shortest, took);
    }
    for (const char* name : {"missing.wav", "text.wav", "cut.wav", ".wav"}) {
        PlayResult result;
        const double took = secondsToPlay(audio, dir / name, result);
        EXPECT_FALSE(result.ok) << name;
        EXPECT_NE(result.error.find(name), std::string::npos) << result.error;
        EXPECT_LT(took, shortest) << name << ": a failure waits as a sound would";
    }
}

} // namespace
} // namespace kestrel::test
