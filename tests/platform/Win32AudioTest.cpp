// Windows' sound: a WAV plays, and a file that cannot play is a failure
// with the system's text; the cues of a sound table in the school's CP932,
// with Japanese file names in a Japanese folder, play through winmm. (How
// long a play waits is not checked: Wine's null sound device plays faster
// than real time.)
#ifdef _WIN32
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/Utf8Path.h"
#include "platform/Win32Audio.h"
#include "sound/SoundCues.h"
#include "support/Fakes.h"
#include "text/Cp932.h"

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

TEST(Win32Audio, TheCuesOfAJapaneseSoundTablePlay) {
    test::TempDir dir;
    const std::string folder = utf8OfPath(dir.path()) + "/音フォルダ/";
    std::filesystem::create_directories(pathFromUtf8(folder));
    writeCp932File(pathFromUtf8(folder, kSoundTableFile),
                   "正解音1,チャイム1,*\r\n正解音2,正解1,*\r\n間違い音1,ブザー1,*\r\n"
                   "間違い音2,間違い1,*\r\n最高音1,ファンファーレ1,*\r\n最高音2,*\r\n"
                   "自己最高音1,自己最高1,*\r\n自己最高音2,*\r\n自己最高音3,*\r\n"
                   "不合格音1,もう少し1,*\r\n");
    for (const char* name :
         {"チャイム1", "正解1", "ブザー1", "間違い1", "ファンファーレ1", "自己最高1"})
        test::writeBytes(pathFromUtf8(folder, std::string(name) + ".wav"), silence(100));
    const SoundTable table = readSoundTable(folder);
    Win32Audio audio;
    test::FakeRandom random;
    const SoundPlayer player{table, folder, audio, random};
    const struct Case {
        int position;
        bool plays;
    } cases[] = {{1, true}, {2, true},  {3, true},
                 {4, true}, {5, true},  {6, false}, // no file in its block
                 {7, true}, {10, false}};           // もう少し1.wav is not there
    for (const Case& c : cases) {
        const PlayResult r = player.playCue(c.position);
        EXPECT_EQ(r.ok, c.plays) << "cue " << c.position << ": " << r.error;
    }
}

} // namespace
} // namespace kestrel
#endif
