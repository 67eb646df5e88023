// A sound table whose end cuts a cue's block off before its "*": start-up
// stops with a message that names the file, the cue and the line to write,
// and the setup check reports the same, instead of a cue that stays silent.
#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "platform/MountTable.h"
#include "platform/Utf8Path.h"
#include "setup/SetupCheck.h"
#include "startup/Folders.h"
#include "support/Installation.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct QuietProbes : SetupProbes {
    FakeMountTable table;
    MountTable& mounts() override { return table; }
    bool fontInstalled(const std::string&) override { return true; }
    PlayResult loadSound(const std::filesystem::path&) override { return {}; }
};

const std::string kAnswerCues = "正解音2\r\nseikai\r\n*\r\n間違い音2\r\nmachigai\r\n*\r\n";

} // namespace

TEST(SoundTableCutOff, StartUpAndTheSetupCheckNameTheCueAndWhatToWrite) {
    struct Row {
        const char* what;
        std::string table;
        const char* example; // what the message shows to write; nullptr: starts
    } rows[] = {
        {"cut after the name", kAnswerCues + "最高音1", "最高音1,音のファイル名,*"},
        {"cut after the name and a comma", kAnswerCues + "最高音1,", "最高音1,音のファイル名,*"},
        {"cut after the first file", kAnswerCues + "最高音1,u", "最高音1,u,*"},
        {"cut after the second file", kAnswerCues + "最高音1,u,v", "最高音1,u,v,*"},
        {"cut after the line end", kAnswerCues + "最高音1\r\nu\r\nv\r\n", "最高音1,u,v,*"},
        {"an answer cue cut off", "間違い音2,machigai,*\r\n正解音2\r\nseikai\r\n",
         "正解音2,seikai,*"},
        {"a later block of a cue names only its own files",
         kAnswerCues + "最高音1,a,b,c,*\r\n最高音1,d", "最高音1,d,*"},
        {"the whole block", kAnswerCues + "最高音1,u,v,*", nullptr},
        {"twenty names without a star are no cut",
         kAnswerCues + "最高音1,1,2,3,4,5,6,7,8,9,10,"
                       "11,12,13,14,15,16,17,18,19,20",
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Installation inst;
        inst.write(Installation::kSoundTableFile, row.table);
        const std::string file = genericUtf8OfPath(inst.file(Installation::kSoundTableFile));

        TestContext t;
        t.ctx.programFile = inst.programFile();
        std::string atStart;
        try {
            InitialiseFolders(t.ctx);
        } catch (const StartupError& e) {
            atStart = e.what();
        }

        QuietProbes probes;
        test::SystemSharedFileSystem files;
        SystemClock clock;
        FakeEventPump events;
        SetupCheckContext context{inst.programFile(), probes, files, clock, events};
        std::string checked;
        for (const CheckLine& line : runSetupCheck(context))
            if (line.check == "sounds" && line.verdict == Verdict::Error &&
                line.message.find("とちゅうで終わって") != std::string::npos)
                checked = line.message;

        if (!row.example) {
            EXPECT_EQ(atStart, "");
            EXPECT_EQ(checked, "");
            continue;
        }
        const std::string example = row.example;
        const std::string cue = "「" + example.substr(0, example.find(',')) + "」";
        for (const std::string& message : {atStart, checked}) {
            EXPECT_NE(message.find(file), std::string::npos) << message;
            EXPECT_NE(message.find(cue), std::string::npos) << message;
            EXPECT_NE(message.find(std::string("（例：") + row.example + "）"), std::string::npos)
                << message;
        }
        EXPECT_NE(atStart.find("このファイルには正解や間違いの音を書きます。"), std::string::npos);
        EXPECT_NE(checked.find("プログラムは起動できません。"), std::string::npos);
    }
}
