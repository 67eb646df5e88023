#include "sound/SoundCues.h"

#include <stdexcept>

#include "platform/Utf8Path.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr int kFilesPerCue = 20;
// Failed answer cues in a row that pass silently; the next one ends the program.
constexpr int16_t kSilentFailures = 3;

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

SoundTable readSoundTable(const std::string& soundFolder) {
    const std::filesystem::path file = pathFromUtf8(soundFolder + kSoundTableFile);
    SoundTable table = parseSoundTable(readCp932File(file));
    if (!table.cutOffCue.empty())
        throw FileError(FileError::Kind::Content, file, cutOffBlockMessage(file, table));
    return table;
}

std::string cutOffBlockMessage(const std::filesystem::path& file, const SoundTable& table) {
    std::string example = table.cutOffCue;
    bool named = false;
    for (const std::string& name : table.cutOffFiles) {
        if (name.empty()) continue;
        example += "," + name;
        named = true;
    }
    if (!named) example += ",音のファイル名";
    return "ファイル「" + displayPath(file) + "」は「" + table.cutOffCue +
           "」の音の並びのとちゅうで終わっています。音のファイル名を「,」で区切って並べ、"
           "最後に「*」を書きます（例：" +
           example + ",*）。";
}

SoundTable parseSoundTable(std::string_view text) {
    SoundTable table;
    for (int c = 1; c <= SoundTable::kCueCount; ++c)
        table.cue(c).name = soundCueNames()[static_cast<size_t>(c - 1)];

    ItemReader reader{std::string(text)};
    while (auto item = reader.next()) {
        for (SoundCue& cue : table.cues) {
            if (cue.name != *item) continue;
            cue.listed = true;
            std::vector<std::string> read;
            for (int f = 1; f <= kFilesPerCue; ++f) {
                auto file = reader.next();
                if (!file) {
                    table.cutOffCue = cue.name;
                    table.cutOffFiles = std::move(read);
                    break;
                }
                if (*file == "*") {
                    cue.count = std::to_string(f - 1);
                    break;
                }
                read.push_back(*file);
                cue.files[static_cast<size_t>(f)] = *file;
            }
            break;
        }
    }
    return table;
}

CueFile chooseCueFile(const SoundTable& table, int position, Random& random) {
    if (position < 1 || position > SoundTable::kCueCount)
        return {{}, "音声の番号" + std::to_string(position) + "はありません"};
    const SoundCue& cue = table.cue(position);
    const std::string& name = soundCueNames()[static_cast<size_t>(position - 1)];
    if (!cue.hasCount()) {
        if (cue.listed)
            return {{}, "音声「" + name + "」の音ファイル一覧が「*」で終わっていません"};
        return {{}, "音声「" + name + "」が音ファイル一覧にありません"};
    }
    const int n = drawInt(random.next(), leadingNumber(cue.count), 1);
    if (n < 1 || n > kFilesPerCue)
        return {{}, "音声「" + name + "」の" + std::to_string(n) + "番目の音ファイルはありません"};
    return {cue.files[static_cast<size_t>(n)] + ".wav", {}};
}

PlayResult SoundPlayer::playCue(int position) const {
    const CueFile chosen = chooseCueFile(table, position, random);
    if (!chosen.error.empty()) return {false, chosen.error};
    return playFile(chosen.file);
}

PlayResult SoundPlayer::playFile(const std::string& fileName) const {
    return audio.playToEnd(pathFromUtf8(soundFolder + fileName));
}

PlayResult SoundPlayer::play(const Sound& sound) const {
    if (sound.cue != 0) return playCue(sound.cue);
    if (!sound.file.empty()) return playFile(sound.file);
    return {};
}

bool answerCueFailed(int16_t& SoundFailureCount, const PlayResult& result) {
    if (result.ok) {
        SoundFailureCount = 0;
        return false;
    }
    if (SoundFailureCount < kSilentFailures) {
        ++SoundFailureCount;
        return false;
    }
    return true;
}

std::string soundFailureMessage(const PlayResult& result) {
    return "音声がでません。先生を呼びなさい。\r\n" + result.error;
}

} // namespace kestrel
