// The journal's decisions that a test of the delete or the restore alone
// does not pin: a change that failed midway and was finished from its plan
// at once is reported as made, even when its plan cannot be removed then;
// both changes refuse to run beside another program's file with the same
// words; and the wait for a held log is a second per try, without limit.
#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "results/DeletedRecords.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "results/SharingRetry.h"
#include "support/FakeSharedFile.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct Journalled : FakeShareLog {
    using FakeShareLog::FakeShareLog;
    bool hasPlan() const { return files->files.count(deletePlanPath(log())) > 0; }
};

// Deletes record 2 of numbered(5), and for a restore puts it back; the
// failures are set on the change under test only.
LogEditStatus change(Journalled& t, bool restore, const std::function<void()>& arm) {
    const auto records = numbered(5);
    if (!restore) {
        arm();
        return deleteResultRecord(t.access(), 2, encodeResultRecord(records[1]));
    }
    EXPECT_TRUE(deleteResultRecord(t.access(), 2, encodeResultRecord(records[1])).ok());
    std::vector<DeletedRecord> entries;
    EXPECT_TRUE(readDeletedRecords(t.access(), entries).ok());
    uint64_t as = 0;
    arm();
    return restoreDeletedRecord(t.access(), entries.at(0), as);
}

} // namespace

TEST(Journal, AChangeFinishedFromItsPlanAtOnceIsMadeThoughThePlanStays) {
    const auto records = numbered(5);
    auto afterRestore = records;
    afterRestore.erase(afterRestore.begin() + 1);
    const struct Case {
        const char* what;
        bool restore;
        int failingWrite; // counted from the change's first write
        std::vector<ResultRecord> end;
    } cases[] = {
        // The change mark, the plan, then the records moved down.
        {"delete: moving the records", false, 3,
         [&] {
             auto r = records;
             r.erase(r.begin() + 1);
             return r;
         }()},
        // The plan, the record appended, then the entry marked.
        {"restore: marking the entry", true, 3,
         [&] {
             auto r = afterRestore;
             r.push_back(records[1]);
             return r;
         }()},
    };
    for (const Case& c : cases) {
        Journalled t(logBytes(records));
        const LogEditStatus s = change(t, c.restore, [&] {
            t.files->failOnWrite = t.files->writes + c.failingWrite;
            t.files->failOnRemove = t.files->removes + 1;
        });
        EXPECT_TRUE(s.ok()) << c.what << ": " << s.message;
        EXPECT_EQ(t.bytes(), logBytes(c.end)) << c.what;
        EXPECT_TRUE(t.hasPlan()) << c.what;
        EXPECT_FALSE(t.files->locked) << c.what;
        // The next open finds the change made and removes the plan only.
        t.files->failOnRemove = 0;
        ASSERT_TRUE(LoadResults(t.ctx)) << c.what;
        EXPECT_FALSE(t.hasPlan()) << c.what;
        EXPECT_EQ(t.bytes(), logBytes(c.end)) << c.what;
    }
}

TEST(Journal, BothChangesRefuseBesideAnotherProgramsFileInTheSameWords) {
    for (bool restore : {false, true}) {
        Journalled t(logBytes(numbered(5)));
        const std::string before = restore ? "" : t.bytes();
        const LogEditStatus s =
            change(t, restore, [&] { t.files->files[resultsTempPath(t.log())] = "a copy"; });
        EXPECT_EQ(s.result, EditResult::Failed);
        EXPECT_NE(s.message.find(kResultsTempName), std::string::npos) << s.message;
        EXPECT_NE(
            s.message.find("ほかのプログラム（前の版のこのプログラムなど）が残したファイルです。"
                           "消去のとちゅうで止まった成績ファイルの写しかもしれません。"),
            std::string::npos)
            << s.message;
        EXPECT_NE(
            s.message.find(restore ? "もう一度元に戻して下さい。" : "もう一度消去して下さい。"),
            std::string::npos)
            << s.message;
        EXPECT_EQ(t.files->files[resultsTempPath(t.log())], "a copy");
        if (!restore) {
            EXPECT_EQ(t.bytes(), before);
        }
    }
}

TEST(Journal, AHeldLogIsTriedAgainASecondLaterWithoutLimit) {
    for (int held : {0, 1, 7, 40}) {
        LogContext t;
        const LogAccess log = resultsLog(t.ctx);
        int tries = 0;
        const double start = t.clock.now().secondsOfDay;
        const int result = retryWhileShared(log, [&]() -> SharedTry<int> {
            ++tries;
            if (tries <= held) return heldElsewhere<int>();
            return {false, 42};
        });
        EXPECT_EQ(result, 42);
        EXPECT_EQ(tries, held + 1);
        EXPECT_NEAR(t.clock.now().secondsOfDay - start, held * 1.0, 0.05 * (held + 1)) << held;
        EXPECT_GE(t.events.processed, held) << held;
    }
}
