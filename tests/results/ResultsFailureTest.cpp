#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"
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

        std::optional<RecordFlags> outcome{RecordFlags{}};
        EXPECT_THROW(outcome = RecordRun(t.ctx, 1), ProgramEnded) << c.name;
        EXPECT_TRUE(outcome.has_value()) << "untouched: the call never returned";
        EXPECT_TRUE(t.messageStartsWith("成績ランダムファイル記録")) << c.name;
        // The system's text for a full disk, as the double reports it on this system.
        EXPECT_NE(t.dialogs.shown[0].text.find(posixFileStatus(ENOSPC).description),
                  std::string::npos);
        EXPECT_NE(t.dialogs.shown[0].text.find(kResultsLogName), std::string::npos);
        EXPECT_EQ(t.ctx.summary->overallBest[1], kNoTime) << c.name;
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
    Context ctx{
        Services{t.clock, t.random, t.dialogs, exit, t.events, t.audio, t.processes, t.printer}};
    ctx.folders = t.ctx.folders;
    ctx.state = t.ctx.state;
    auto fake = std::make_unique<FakeSharedFileSystem>();
    fake->failOnWrite = 1;
    ctx.sharedFiles = std::move(fake);
    EXPECT_FALSE(RecordRun(ctx, 1).has_value());
    EXPECT_EQ(exit.calls, 1);
    EXPECT_EQ(ctx.summary->overallBest[1], kNoTime);
}

TEST(AppendFailure, HeldLogIsRetriedEverySecond) {
    FakeLog t;
    t.files->sharingOnLock = 3;
    ASSERT_TRUE(t.append().ok());
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(t.files->locks, 4);
    EXPECT_EQ(t.files->writes, 1);
    EXPECT_NEAR(t.waited(), 3.0, 0.05);
    EXPECT_GT(t.events.processed, 3); // the screens ran meanwhile
    EXPECT_EQ(t.bytes().size(), kResultRecordSize);
    EXPECT_EQ(t.files->openNow, 0);
}

TEST(AppendFailure, LogOffDuringTheAppendWaitsForTheRecord) {
    // The log is held by another PC; a log-off arrives while the run waits
    // for it. The program ends only once the record is on disk.
    FakeLog t;
    t.files->sharingOnLock = 2;
    ASSERT_TRUE(BuildSummary(t.ctx));
    t.events.onProcess = [&] {
        if (t.exit.statuses.empty() && t.files->locks == 1) t.exit.requestEnd(0);
    };
    EXPECT_THROW(RecordRun(t.ctx, 1), ProgramEnded);
    EXPECT_EQ(t.exit.statuses, std::vector<int>{0});
    EXPECT_EQ(t.bytes().size(), kResultRecordSize);
    EXPECT_EQ(decodeResultRecord(reinterpret_cast<const unsigned char*>(t.bytes().data())).seconds,
              33);
    EXPECT_FALSE(t.exit.held());
    EXPECT_EQ(t.files->openNow, 0);
}

TEST(AppendFailure, AWriteTheServerRefusedIsTriedAgainOnce) {
    // On a share, another PC's lock makes the server refuse the write
    // itself: nothing went out, so the append waits and is tried again.
    FakeLog t;
    t.files->sharingOnWrite = 2;
    ASSERT_TRUE(t.append().ok());
    EXPECT_EQ(t.files->writes, 3);
    EXPECT_EQ(t.bytes().size(), kResultRecordSize);
    EXPECT_NEAR(t.waited(), 2.0, 0.05);
    EXPECT_TRUE(t.dialogs.shown.empty());
}

TEST(AppendFailure, AFailureAfterTheRecordWentOutIsNotRetried) {
    // The record is written but its sync fails: trying again would write it twice.
    FakeLog t;
    t.files->failOnSync = 1;
    const LogStatus status = t.append();
    EXPECT_EQ(status.fault, FileFault::Other);
    EXPECT_EQ(t.files->writes, 1);
    EXPECT_EQ(status.message.rfind("成績ランダムファイル記録", 0), 0u) << status.message;
    // The log's functions report; showing it is the caller's choice.
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_FALSE(t.files->locked);
}

TEST(AppendFailure, MissingFolderIsReported) {
    FakeLog t;
    t.files->missingOnOpen = 1;
    const LogStatus status = t.append();
    EXPECT_EQ(status.fault, FileFault::NotFound);
    EXPECT_EQ(status.message.rfind("成績ランダムファイル記録", 0), 0u) << status.message;
    EXPECT_EQ(t.files->writes, 0);
}

TEST(LoadFailure, HeldLogIsWaitedForWithoutLimit) {
    FakeLog t;
    t.bytes() = logBytes({runRecord(t.today(), 5, 1, 40)});
    t.files->sharingOnShared = 12;
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
            const std::string code = std::to_string(posixFileStatus(ENOENT).number);
            EXPECT_EQ(text.substr(text.size() - code.size()), code);
        }
        EXPECT_NEAR(t.waited(), c.waited, 0.05) << c.misses;
    }
}

TEST(LoadFailure, ReadErrorNamesTheRecordThatFailed) {
    // A damaged record deep inside a block: the message names it, with the
    // fields of the last record read whole, not the block's first record.
    FakeLog t;
    std::vector<ResultRecord> records;
    for (int i = 1; i <= 3000; ++i)
        records.push_back(runRecord(t.today() - i % 9, 1 + i % 40, 1 + i % 5, 30 + i % 90));
    t.bytes() = logBytes(records);
    t.files->badByte = 2499 * kResultRecordSize + 10; // inside record 2500
    EXPECT_THROW(BuildSummary(t.ctx), ProgramEnded);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    const std::string& text = t.dialogs.shown[0].text;
    const std::string number = std::to_string(posixFileStatus(EIO).number);
    EXPECT_EQ(text.rfind("成績ランダムファイル表示5" + number + "「", 0), 0u) << text;
    const ResultRecord& before = records[2498]; // record 2499
    char date[32];
    std::snprintf(date, sizeof date, "%.15g", before.date);
    EXPECT_NE(text.find(std::string("/date") + date + "/i=2500/time="), std::string::npos) << text;
    EXPECT_NE(text.find("/name=/Bangou=" + std::to_string(before.studentNumber) +
                        "/level=" + std::to_string(before.level) +
                        "/time=" + std::to_string(before.seconds) + "line5"),
              std::string::npos)
        << text;
    EXPECT_EQ(t.files->openNow, 0);
}

TEST(LoadFailure, ReadErrorThatPassesIsNoFailure) {
    // One failed read of a block, then every record reads: nothing is lost.
    FakeLog t;
    std::vector<ResultRecord> records;
    for (int i = 1; i <= 1500; ++i)
        records.push_back(runRecord(t.today(), 1 + i % 40, 1, 30 + i % 90));
    t.bytes() = logBytes(records);
    t.files->failOnRead = 1;
    ASSERT_TRUE(LoadResults(t.ctx));
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(t.ctx.runEntries.count(), 1500);
    EXPECT_EQ(t.ctx.runEntries.entrySlots[1499].studentNumber, records[1499].studentNumber);
}

TEST(RecentResults, MissingFolderIsAnEmptyListHeldLogIsWaitedForOtherFailuresEnd) {
    // What a results list reads: the last records, with a missing log as
    // nothing at all (no wait, no message) and a held log waited for.
    struct Collect : LogReader {
        int begun = 0;
        uint64_t records = 0, skipped = 0;
        std::vector<int32_t> seconds;
        void begin() override {
            ++begun;
            seconds.clear();
        }
        void extent(uint64_t, uint64_t n, uint64_t s) override {
            records = n;
            skipped = s;
        }
        void block(const unsigned char* bytes, size_t count) override {
            for (size_t k = 0; k < count; ++k)
                seconds.push_back(decodeResultRecord(&bytes[k * kResultRecordSize]).seconds);
        }
    };
    {
        FakeLog t;
        t.files->missingOnOpen = 1;
        Collect c;
        ASSERT_TRUE(ReadRecentResults(t.ctx, c, 1000));
        EXPECT_EQ(c.begun, 1);
        EXPECT_TRUE(c.seconds.empty());
        EXPECT_EQ(t.waited(), 0);
        EXPECT_TRUE(t.dialogs.shown.empty());
    }
    {
        FakeLog t;
        std::vector<ResultRecord> records;
        for (int i = 1; i <= 1500; ++i)
            records.push_back(runRecord(t.today(), 1, 1, i));
        t.bytes() = logBytes(records);
        t.files->sharingOnShared = 3;
        Collect c;
        ASSERT_TRUE(ReadRecentResults(t.ctx, c, 1000));
        EXPECT_NEAR(t.waited(), 3.0, 0.05);
        EXPECT_EQ(c.records, 1500u);
        EXPECT_EQ(c.skipped, 500u);
        ASSERT_EQ(c.seconds.size(), 1000u);
        EXPECT_EQ(c.seconds.front(), 501);
        EXPECT_EQ(t.files->openNow, 0);
    }
    {
        FakeLog t;
        t.bytes() = logBytes({runRecord(t.today(), 1, 1, 40), runRecord(t.today(), 1, 1, 41)});
        t.files->badByte = kResultRecordSize + 3;
        Collect c;
        EXPECT_THROW(ReadRecentResults(t.ctx, c, 1000), ProgramEnded);
        EXPECT_TRUE(t.messageStartsWith("成績ランダムファイル表示5"));
    }
}
