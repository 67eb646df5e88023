#include "sound/SoundCues.h"
#include "context/Procedures.h"

#include <gtest/gtest.h>

#include "platform/Utf8Path.h"
#include "support/Fakes.h"
#include "text/Cp932.h"

namespace kestrel::test {
namespace {

class SoundCuesTest : public ::testing::Test {
protected:
    void load(const std::string& table) {
        tc.ctx.folders.SoundFolder = genericUtf8OfPath(dir.path()) + "/";
        writeCp932File(dir / "新音ファイル.txt", table);
        LoadSoundTable(tc.ctx);
    }
    std::string inFolder(const std::string& file) { return tc.ctx.folders.SoundFolder + file; }

    TempDir dir;
    TestContext tc;
};

TEST_F(SoundCuesTest, RandomValuePicksOneOfTheListedFiles) {
    load("正解音2, a, b, c, *\r\n");
    EXPECT_EQ(tc.ctx.sounds.cue(2).count, "3");
    const std::pair<float, std::string> cases[] = {{0.0f, "a"},   {0.333f, "a"}, {0.334f, "b"},
                                                   {0.666f, "b"}, {0.667f, "c"}, {0.99999f, "c"}};
    for (const auto& [r, file] : cases) {
        tc.random.push(r);
        PlayRightCue(tc.ctx);
        EXPECT_EQ(tc.audio.played.back(), inFolder(file + ".wav")) << r;
    }
}

TEST_F(SoundCuesTest, BlocksOfTheTable) {
    std::string twentyNames;
    for (int i = 1; i <= 20; ++i)
        twentyNames += "n" + std::to_string(i) + ",";
    load("メモ,\"x, 正解音1\"\r\n間違い音2,*\r\n正解音1," + twentyNames + "*,不合格音1,z,*\r\n" +
         "自己最高音2,p,q,r,*\r\n自己最高音2,s,*\r\n");
    const SoundTable& t = tc.ctx.sounds;
    EXPECT_EQ(t.cue(4).count, "0");    // "*" right after the name
    EXPECT_FALSE(t.cue(1).hasCount()); // no "*" among the first 20 items
    EXPECT_EQ(t.cue(1).files[20], "n20");
    EXPECT_EQ(t.cue(10).count, "1"); // reading goes on after it
    EXPECT_EQ(t.cue(8).count, "1");  // the later block wins
    EXPECT_EQ(t.cue(8).files[1], "s");
    EXPECT_EQ(t.cue(8).files[2], "q");
    EXPECT_FALSE(t.cue(3).listed);

    PlayWrongCue(tc.ctx);
    EXPECT_EQ(tc.audio.played.back(), inFolder(".wav"));
}

TEST_F(SoundCuesTest, MissingTableNamesTheFile) {
    tc.ctx.folders.SoundFolder = dir.path().string() + "/";
    try {
        LoadSoundTable(tc.ctx);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Kind::NotFound);
        EXPECT_NE(std::string(e.what()).find("新音ファイル.txt"), std::string::npos);
    }
}

TEST_F(SoundCuesTest, FourthAnswerFailureInARowEndsTheProgram) {
    load("正解音2,a,*\r\n間違い音2,b,*\r\n");
    const PlayResult bad{false, "装置がありません"};
    // Right and wrong share the count; a success starts it over.
    for (bool ok : {false, false, false, true, false, false})
        tc.audio.results.push_back(ok ? PlayResult{} : bad);
    for (int i = 0; i < 6; ++i)
        i % 2 ? PlayWrongCue(tc.ctx) : PlayRightCue(tc.ctx);
    EXPECT_TRUE(tc.dialogs.shown.empty());
    EXPECT_EQ(tc.ctx.SoundFailureCount, 2);

    tc.audio.results = {bad, bad};
    PlayWrongCue(tc.ctx);
    EXPECT_TRUE(tc.dialogs.shown.empty());
    EXPECT_THROW(PlayRightCue(tc.ctx), ProgramEnded);
    ASSERT_EQ(tc.dialogs.shown.size(), 1u);
    EXPECT_EQ(tc.dialogs.shown[0].text, "音声がでません。先生を呼びなさい。\r\n装置がありません");
    EXPECT_EQ(tc.dialogs.shown[0].title, "音声エラー");
    EXPECT_EQ(tc.dialogs.shown[0].buttons, MessageButtons::Ok);
    ASSERT_EQ(tc.exit.statuses.size(), 1u);
    EXPECT_NE(tc.exit.statuses[0], 0);
}

TEST_F(SoundCuesTest, OtherSoundsIgnoreFailures) {
    load("自己最高音2,a,*\r\n");
    tc.ctx.SoundFailureCount = 3;
    for (int i = 0; i < 8; ++i)
        tc.audio.results.push_back({false, "x"});
    for (int i = 0; i < 2; ++i) {
        PlayWarningCue(tc.ctx);
        PlayFixedSound(tc.ctx, "最高1.wav");
        PlayCueSound(tc.ctx, 8);
        PlayCueSound(tc.ctx, 10); // no count: nothing to play
    }
    EXPECT_EQ(tc.audio.played,
              (std::vector<std::string>{inFolder("警告1.wav"), inFolder("最高1.wav"),
                                        inFolder("a.wav"), inFolder("警告1.wav"),
                                        inFolder("最高1.wav"), inFolder("a.wav")}));
    EXPECT_TRUE(tc.dialogs.shown.empty());
    EXPECT_EQ(tc.ctx.SoundFailureCount, 3);
}

TEST_F(SoundCuesTest, AnswerCueWithoutCountIsAFailureNamingIt) {
    std::string twentyNames;
    for (int i = 1; i <= 20; ++i)
        twentyNames += ",n" + std::to_string(i);
    load("間違い音2" + twentyNames + "\r\n正解音1,*\r\n");
    for (int i = 0; i < 3; ++i)
        PlayRightCue(tc.ctx);
    EXPECT_THROW(PlayRightCue(tc.ctx), ProgramEnded);
    EXPECT_TRUE(tc.audio.played.empty());
    EXPECT_NE(tc.dialogs.shown.at(0).text.find("音声「正解音2」が音ファイル一覧にありません"),
              std::string::npos);

    tc.ctx.SoundFailureCount = 3;
    EXPECT_THROW(PlayWrongCue(tc.ctx), ProgramEnded);
    EXPECT_NE(tc.dialogs.shown.at(1).text.find("「間違い音2」"), std::string::npos);
    EXPECT_TRUE(tc.audio.played.empty());
}

} // namespace
} // namespace kestrel::test
