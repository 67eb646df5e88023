// The sound table: its cue blocks, and playing every cue whatever the file
// gave it, with the random value at both ends of its range.
#include <filesystem>

#include "FuzzTarget.h"
#include "sound/SoundCues.h"
#include "support/Fakes.h"
#include "text/Cp932.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file = "/srv/学校/共有データ/音フォルダ/新音ファイル.txt";
    static const std::string folder = "/srv/学校/共有データ/音フォルダ/";
    const std::optional<std::string> text = fuzz::decodedText(data, size, file);
    if (!text) return 0;
    const SoundTable table = parseSoundTable(*text);
    test::FakeAudio audio;
    test::FakeRandom random;
    const SoundPlayer player{table, folder, audio, random};
    for (int position = 1; position <= SoundTable::kCueCount; ++position) {
        const SoundCue& cue = table.cue(position);
        FUZZ_CHECK(cue.name == soundCueNames()[static_cast<size_t>(position - 1)]);
        FUZZ_CHECK(!cue.hasCount() || cue.listed);
        for (float r : {0.0f, 0.5f, 0.99999994f}) {
            random.push(r);
            const size_t playedBefore = audio.played.size();
            const PlayResult result = player.playCue(position);
            if (!cue.hasCount()) {
                // A cue the file leaves without its list is a failure naming the cue.
                FUZZ_CHECK(!result.ok && fuzz::names(result.error, cue.name));
                FUZZ_CHECK(audio.played.size() == playedBefore);
                continue;
            }
            FUZZ_CHECK(audio.played.size() == playedBefore + 1);
            const std::string& played = audio.played.back();
            FUZZ_CHECK(played.starts_with(folder) && played.ends_with(".wav"));
        }
    }
    return 0;
}
