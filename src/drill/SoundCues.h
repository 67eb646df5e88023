#pragma once
// The sound table: named cues, each a list of WAV files of the sound folder
// of which one is played at random, and the play operations with the failure
// watch of the answer cues.
#include <array>
#include <string>

namespace kestrel {

struct Context;

// One named cue. Files are base names without folder and ".wav", positions
// 1..20 (files[0] is unused). `count` is the number of names as text, set
// only when the block's "*" was read; empty means the cue has no count.
struct SoundCue {
    std::string name;
    std::array<std::string, 21> files{};
    std::string count;
    bool listed = false; // a block of this cue was found in the file

    bool hasCount() const { return !count.empty(); }
};

// The ten cues, positions 1..10 in this order: 正解音1, 正解音2, 間違い音1,
// 間違い音2, 最高音1, 最高音2, 自己最高音1, 自己最高音2, 自己最高音3, 不合格音1.
struct SoundTable {
    static constexpr int kCueCount = 10;
    static constexpr int kRightCue = 2;        // 正解音2
    static constexpr int kWrongCue = 4;        // 間違い音2
    static constexpr int kPersonalBestCue = 8; // 自己最高音2
    static constexpr int kFailedCue = 10;      // 不合格音1

    std::array<SoundCue, kCueCount> cues{};

    // Position 1..10; anything else is a programming error (std::out_of_range).
    SoundCue& cue(int position);
    const SoundCue& cue(int position) const;
};

// The names of the ten cues in table order.
const std::array<std::string, SoundTable::kCueCount>& soundCueNames();

// Reads "新音ファイル.txt" of the sound folder into ctx.sounds. Throws
// FileError when the file is missing or unreadable.
void LoadSoundTable(Context& ctx);

// The answer cues. After the fourth failure in a row of either one the
// student is told to call the teacher and the program ends.
void PlayRightCue(Context& ctx);
void PlayWrongCue(Context& ctx);

// "警告1.wav"; failures are ignored.
void PlayWarningCue(Context& ctx);
// A random file of the cue at `cuePosition` (1..10); failures are ignored.
void PlayCueSound(Context& ctx, int cuePosition);
// A file of the sound folder, named with its ".wav"; failures are ignored.
void PlayFixedSound(Context& ctx, const std::string& fileName);

} // namespace kestrel
