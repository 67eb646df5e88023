#include "drill/SoundCues.h"

#include <stdexcept>

#include "startup/Context.h"

namespace kestrel {

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

void LoadSoundTable(Context&) {}
void PlayRightCue(Context&) {}
void PlayWrongCue(Context&) {}
void PlayWarningCue(Context&) {}
void PlayCueSound(Context&, int) {}
void PlayFixedSound(Context&, const std::string&) {}

} // namespace kestrel
