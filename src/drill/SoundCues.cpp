#include "drill/SoundCues.h"

#include <stdexcept>

#include "platform/Random.h"
#include "context/Context.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr int kFilesPerCue = 20;
// Failed answer cues in a row that pass silently; the next one ends the program.
constexpr int16_t kSilentFailures = 3;
constexpr int kSoundFailureStatus = 1;

std::filesystem::path soundPath(const Context& ctx, const std::string& fileName) {
    return std::filesystem::path(ctx.folders.SoundFolder + fileName);
}

// One random file of the cue, played to its end.
PlayResult playCue(Context& ctx, int position) {
    if (position < 1 || position > SoundTable::kCueCount)
        return {false, "音声の番号" + std::to_string(position) + "はありません"};
    const SoundCue& cue = ctx.sounds.cue(position);
    const std::string& name = soundCueNames()[static_cast<size_t>(position - 1)];
    if (!cue.hasCount()) {
        if (cue.listed)
            return {false, "音声「" + name + "」の音ファイル一覧が「*」で終わっていません"};
        return {false, "音声「" + name + "」が音ファイル一覧にありません"};
    }
    const int n = drawInt(ctx.services.random.next(), leadingNumber(cue.count), 1);
    if (n < 1 || n > kFilesPerCue)
        return {false,
                "音声「" + name + "」の" + std::to_string(n) + "番目の音ファイルはありません"};
    return ctx.services.audio.playToEnd(soundPath(ctx, cue.files[static_cast<size_t>(n)] + ".wav"));
}

// The answer cues share one count of failures in a row; the fourth ends the
// program, because a drill without feedback would mislead the student.
void watchAnswerCue(Context& ctx, const PlayResult& result) {
    if (result.ok) {
        ctx.SoundFailureCount = 0;
        return;
    }
    if (ctx.SoundFailureCount < kSilentFailures) {
        ++ctx.SoundFailureCount;
        return;
    }
    ctx.services.dialogs.message("音声がでません。先生を呼びなさい。\r\n" + result.error,
                                 "音声エラー", MessageButtons::Ok);
    ctx.services.exit.endProgram(kSoundFailureStatus);
}

} // namespace

SoundCue& SoundTable::cue(int position) {
    if (position < 1 || position > kCueCount) throw std::out_of_range("sound cue position");
    return cues[static_cast<size_t>(position - 1)];
}
const SoundCue& SoundTable::cue(int position) const {
    if (position < 1 || position > kCueCount) throw std::out_of_range("sound cue position");
    return cues[static_cast<size_t>(position - 1)];
}

const std::array<std::string, SoundTable::kCueCount>& soundCueNames() {
    static const std::array<std::string, SoundTable::kCueCount> names{
        "正解音1", "正解音2",     "間違い音1",   "間違い音2",   "最高音1",
        "最高音2", "自己最高音1", "自己最高音2", "自己最高音3", "不合格音1"};
    return names;
}

void LoadSoundTable(Context& ctx) {
    SoundTable table;
    for (int c = 1; c <= SoundTable::kCueCount; ++c)
        table.cue(c).name = soundCueNames()[static_cast<size_t>(c - 1)];

    ItemReader reader(readCp932File(soundPath(ctx, "新音ファイル.txt")));
    while (auto item = reader.next()) {
        for (SoundCue& cue : table.cues) {
            if (cue.name != *item) continue;
            cue.listed = true;
            for (int f = 1; f <= kFilesPerCue; ++f) {
                // A block cut off by the end of the file simply gets no count.
                auto file = reader.next();
                if (!file) break;
                if (*file == "*") {
                    cue.count = std::to_string(f - 1);
                    break;
                }
                cue.files[static_cast<size_t>(f)] = *file;
            }
            break;
        }
    }
    ctx.sounds = std::move(table);
}

void PlayRightCue(Context& ctx) {
    watchAnswerCue(ctx, playCue(ctx, SoundTable::kRightCue));
}

void PlayWrongCue(Context& ctx) {
    watchAnswerCue(ctx, playCue(ctx, SoundTable::kWrongCue));
}

void PlayWarningCue(Context& ctx) {
    ctx.services.audio.playToEnd(soundPath(ctx, "警告1.wav"));
}

void PlayCueSound(Context& ctx, int cuePosition) {
    playCue(ctx, cuePosition);
}

void PlayFixedSound(Context& ctx, const std::string& fileName) {
    ctx.services.audio.playToEnd(soundPath(ctx, fileName));
}

} // namespace kestrel
