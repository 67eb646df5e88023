#include <gtest/gtest.h>

#include "results/ResultsLog.h"
#include "results/ResultsTestSupport.h"
#include "support/FakeSharedFile.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// A context whose log lives in the failing fake.
struct FakeLog : LogContext {
    FakeSharedFileSystem* files = nullptr;

    FakeLog() {
        auto fake = std::make_unique<FakeSharedFileSystem>();
        files = fake.get();
        ctx.sharedFiles = std::move(fake);
        signIn(5, 1);
        ctx.state.RunTime = 33;
    }
    std::string& bytes() { return files->files[log()]; }
    double waited() { return (clock.tickMs() - 1000) / 1000.0; }
    bool messageStartsWith(const std::string& prefix) const {
        return dialogs.shown.size() == 1 && dialogs.shown[0].text.rfind(prefix, 0) == 0;
    }
};

} // namespace

TEST(AppendFailure, FailedWriteOrSyncIsNeverSuccess) {
    const struct Case {
        const char* name;
        int failOnWrite, failOnSync;
        size_t bytesBeforeFailure;
    } cases[] = {{"write", 1, 0, 0}, {"half write", 1, 0, 22}, {"sync", 0, 1, 0}};
    for (const Case& c : cases) {
        FakeLog t;
        t.files->failOnWrite = c.failOnWrite;
        t.files->failOnSync = c.failOnSync;
        t.files->bytesBeforeFailure = c.bytesBeforeFailure;
        t.files->failError = ENOSPC;
        ASSERT_TRUE(BuildSummary(t.ctx));

        bool reported = true;
        EXPECT_THROW(reported = RecordRun(t.ctx, 1), ProgramEnded) << c.name;
        EXPECT_TRUE(reported) << "untouched: the call never returned";
        EXPECT_TRUE(t.messageStartsWith("成績ランダムファイル記録")) << c.name;
        EXPECT_NE(t.dialogs.shown[0].text.find(std::strerror(ENOSPC)), std::string::npos);
        EXPECT_NE(t.dialogs.shown[0].text.find(kResultsLogName), std::string::npos);
        EXPECT_EQ(t.ctx.recordFlags.newOverallBest, 0) << c.name;
        EXPECT_EQ(t.files->writes, 1) << "not retried: " << c.name;
        EXPECT_EQ(t.files->openNow, 0) << c.name;
        EXPECT_FALSE(t.files->locked) << c.name;
        EXPECT_NE(t.exit.statuses.at(0), 0);
    }
}

TEST(AppendFailure, ProgramExitThatReturnsStillGetsFalse) {
    // A shutdown that does not unwind must not let the caller go on as if recorded.
    struct ReturningExit : ProgramExit {
        void endProgram(int) override { ++calls; }
        int calls = 0;
    } exit;
    FakeLog t;
    Context ctx{Services{t.clock, t.random, t.dialogs, exit, t.events, t.audio, t.processes}};
    ctx.folders = t.ctx.folders;
    ctx.state = t.ctx.state;
    auto fake = std::make_unique<FakeSharedFileSystem>();
    fake->failOnWrite = 1;
    ctx.sharedFiles = std::move(fake);
    EXPECT_FALSE(RecordRun(ctx, 1));
    EXPECT_EQ(exit.calls, 1);
    EXPECT_EQ(ctx.recordFlags.newOverallBest, 0);
}

TEST(AppendFailure, HeldLogIsRetriedEverySecond) {
    FakeLog t;
    t.files->sharingOnLock = 3;
    ASSERT_TRUE(AppendResult(t.ctx));
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(t.files->locks, 4);
    EXPECT_EQ(t.files->writes, 1);
    EXPECT_NEAR(t.waited(), 3.0, 0.05);
    EXPECT_GT(t.events.processed, 3); // the screens ran meanwhile
    EXPECT_EQ(t.bytes().size(), kResultRecordSize);
    EXPECT_EQ(t.files->openNow, 0);
}

TEST(AppendFailure, SharingErrorAfterTheBytesWentOutIsNotRetried) {
    FakeLog t;
    t.files->sharingOnWrite = 1;
    EXPECT_THROW(AppendResult(t.ctx), ProgramEnded);
    EXPECT_EQ(t.files->writes, 1);
    EXPECT_TRUE(t.messageStartsWith("成績ランダムファイル記録"));
}

TEST(AppendFailure, MissingFolderIsReported) {
    FakeLog t;
    t.files->missingOnOpen = 1;
    EXPECT_THROW(AppendResult(t.ctx), ProgramEnded);
    EXPECT_TRUE(t.messageStartsWith("成績ランダムファイル記録"));
    EXPECT_EQ(t.files->writes, 0);
}

TEST(LoadFailure, HeldLogIsWaitedForWithoutLimit) {
    FakeLog t;
    t.bytes() = logBytes({runRecord(t.today(), 5, 1, 40)});
    t.files->sharingOnProbe = 12;
    ASSERT_TRUE(LoadResults(t.ctx));
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(t.ctx.runEntries.count(), 1);
    EXPECT_NEAR(t.waited(), 12.0, 0.05);
    EXPECT_EQ(t.files->openNow, 0);
}

TEST(LoadFailure, MissingFolderIsRetriedThreeTimesThenReported) {
    const struct Case {
        int misses;
        bool loads;
        double waited;
    } cases[] = {{1, true, 5}, {3, true, 15}, {4, false, 20}};
    for (const Case& c : cases) {
        FakeLog t;
        t.bytes() = logBytes({runRecord(t.today(), 5, 1, 40)});
        t.files->missingOnOpen = c.misses;
        if (c.loads) {
            ASSERT_TRUE(LoadResults(t.ctx)) << c.misses;
            EXPECT_EQ(t.ctx.runEntries.count(), 1);
            EXPECT_TRUE(t.dialogs.shown.empty());
        } else {
            EXPECT_THROW(LoadResults(t.ctx), ProgramEnded);
            const std::string prefix = "ファイルがありません3";
            EXPECT_TRUE(t.messageStartsWith(prefix)) << t.dialogs.shown.at(0).text;
            const std::string& text = t.dialogs.shown[0].text;
            EXPECT_EQ(text.substr(text.size() - std::to_string(ENOENT).size()),
                      std::to_string(ENOENT));
        }
        EXPECT_NEAR(t.waited(), c.waited, 0.05) << c.misses;
    }
}

TEST(LoadFailure, ReadErrorIsReportedWithWhereItStood) {
    FakeLog t;
    t.bytes() = logBytes({runRecord(t.today(), 5, 1, 40), runRecord(t.today(), 6, 1, 41)});
    t.files->failOnRead = 1;
    EXPECT_THROW(BuildSummary(t.ctx), ProgramEnded);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    const std::string& text = t.dialogs.shown[0].text;
    const std::string number = std::to_string(EIO);
    EXPECT_EQ(text.rfind("成績ランダムファイル表示5" + number + "「", 0), 0u) << text;
    EXPECT_NE(text.find("/i=1/time="), std::string::npos) << text;
    EXPECT_NE(text.find("/name=/Bangou="), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 5), "line5");
    EXPECT_EQ(t.files->openNow, 0);
}
