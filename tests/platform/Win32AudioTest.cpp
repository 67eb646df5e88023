// Windows' sound: a WAV plays, and a file that cannot play is a failure
// with the system's text. (How long a play waits is not checked: Wine's
// null sound device plays faster than real time.)
#ifdef _WIN32
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/Win32Audio.h"
#include "support/Fakes.h"

namespace kestrel {
namespace {

// A mono 16-bit PCM WAV of `ms` milliseconds of silence at 8000 Hz.
std::string silence(int ms) {
    const uint32_t data = static_cast<uint32_t>(8000 * 2 * ms / 1000);
    std::string w;
    const auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            w += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    const auto u16 = [&](uint16_t v) {
        w += static_cast<char>(v & 0xff);
        w += static_cast<char>(v >> 8);
    };
    w += "RIFF";
    u32(36 + data);
    w += "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(8000), u32(16000), u16(2), u16(16);
    w += "data";
    u32(data);
    w.append(data, '\0');
    return w;
}

TEST(Win32Audio, PlaysOrSaysWhyNot) {
    test::TempDir dir;
    test::writeBytes(dir / "short.wav", silence(400));
    test::writeBytes(dir / "broken.wav", "RIFF....not a wave");
    const struct Case {
        const char* name;
        bool plays;
    } cases[] = {{"short.wav", true}, {"missing.wav", false}, {"broken.wav", false}};
    Win32Audio audio;
    for (const Case& c : cases) {
        const PlayResult r = audio.playToEnd(dir / c.name);
        EXPECT_EQ(r.ok, c.plays) << c.name << ": " << r.error;
        EXPECT_EQ(r.error.empty(), c.plays) << c.name;
    }
}

} // namespace
} // namespace kestrel
#endif
