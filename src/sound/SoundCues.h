#pragma once
// The sound table: named cues, each a list of WAV files of the sound folder
// of which one is played at random, and the play operations with the failure
// watch of the answer cues.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Audio.h"
#include "platform/Random.h"

namespace kestrel {

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
    // The cue whose block the end of the file cut off before its "*", and
    // the names read of that block; empty when every block was ended.
    std::string cutOffCue;
    std::vector<std::string> cutOffFiles;

    // Position 1..10; anything else is a programming error (std::out_of_range).
    SoundCue& cue(int position);
    const SoundCue& cue(int position) const;
};

// The names of the ten cues in table order.
const std::array<std::string, SoundTable::kCueCount>& soundCueNames();

inline constexpr const char* kSoundTableFile = "新音ファイル.txt";
inline constexpr const char* kWarningSound = "警告1.wav";
// The end screen's fixed sounds: a new best time of all, a level cleared.
inline constexpr const char* kOverallBestSound = "最高1.wav";
inline constexpr const char* kGoalClearedSound = "合格.wav";

// Reads the sound table "新音ファイル.txt" of the sound folder. Throws
// FileError when the file is missing or unreadable, and when its end cuts
// off a block (Kind::Content): that cue would stay silent, and the answer
// cues would end the drill after four plays.
SoundTable readSoundTable(const std::string& soundFolder);
// The sound table from the file's text (UTF-8); a block cut off by the end
// of the text is noted in cutOffCue.
SoundTable parseSoundTable(std::string_view text);
// What the teacher is told of a block cut off by the end of `file`: the
// file, the cue, and the line to write.
std::string cutOffBlockMessage(const std::filesystem::path& file, const SoundTable& table);

// The file a cue plays this time: one of its files at random, named with
// its ".wav"; or, for a cue without a count or a position or file number
// out of range, the text that names the fault.
struct CueFile {
    std::string file;
    std::string error;
};
CueFile chooseCueFile(const SoundTable& table, int position, Random& random);

// A sound the program plays: a cue of the table (`cue` 1..10), or a fixed
// file of the sound folder; neither for silence.
struct Sound {
    int cue = 0;
    std::string file;
    bool silent() const { return cue == 0 && file.empty(); }
};

// Plays sounds of the sound folder to their end.
struct SoundPlayer {
    const SoundTable& table;
    const std::string& soundFolder; // ends with "/"
    Audio& audio;
    Random& random;

    // A random file of the cue at `position` (1..10). A cue without a count,
    // or a position or file number out of range, fails with a text naming it.
    PlayResult playCue(int position) const;
    // A file of the sound folder, named with its ".wav".
    PlayResult playFile(const std::string& fileName) const;
    // The cue or the file of `sound`; silence plays nothing and succeeds.
    PlayResult play(const Sound& sound) const;
};

// The answer cues share one count of failures in a row: the first three
// pass silently, the fourth ends the program, because a drill without
// feedback would mislead the student. True when the program must end.
bool answerCueFailed(int16_t& SoundFailureCount, const PlayResult& result);
// What the student is told then ("音声がでません。先生を呼びなさい。" and the
// failure's text), and the message's title.
std::string soundFailureMessage(const PlayResult& result);
inline constexpr const char* kSoundFailureTitle = "音声エラー";

} // namespace kestrel
