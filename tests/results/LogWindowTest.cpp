// Loads that keep the most recent records and read only what was appended:
// what each change of the log between two loads costs, and that the
// summary is always the one a whole read gives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "context/Procedures.h"
#include "results/ChangeMark.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "support/FakeSharedFile.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

using WindowLog = FakeShareLog;

std::vector<ResultRecord> runs(int n, int from = 0) {
    std::vector<ResultRecord> out;
    for (int i = from; i < from + n; ++i)
        out.push_back(runRecord(45800 + i / 500, 1 + i % 40, 1 + i % 5, 20 + i % 300));
    return out;
}

// The summary and records of a whole read of the log as it stands.
void expectAsWholeRead(WindowLog& t, const std::string& what) {
    auto whole = std::make_unique<ResultsSummary>();
    RunEntries wholeEntries;
    ASSERT_TRUE(BuildSummary(*whole, wholeEntries, t.ctx.criteria, t.access()).ok());
    EXPECT_EQ(std::memcmp(whole.get(), t.ctx.summary.get(), sizeof(ResultsSummary)), 0) << what;
    ASSERT_EQ(wholeEntries.count(), t.ctx.runEntries.count()) << what;
    for (size_t i = 0; i < wholeEntries.entrySlots.size(); ++i) {
        const RunEntry& a = wholeEntries.entrySlots[i];
        const RunEntry& b = t.ctx.runEntries.entrySlots[i];
        ASSERT_TRUE(a.date == b.date && a.timeOfDay == b.timeOfDay &&
                    a.studentNumber == b.studentNumber && a.level == b.level &&
                    a.seconds == b.seconds)
            << what << ": slot " << i;
    }
    const std::string& log = t.bytes();
    const size_t whole_ = log.size() / kResultRecordSize * kResultRecordSize;
    const size_t kept = std::min<size_t>(whole_, kMaxLoadedRecords * kResultRecordSize);
    const LogWindow& w = t.ctx.resultsWindow;
    EXPECT_TRUE(w.bytes.size() == kept &&
                std::memcmp(w.bytes.data(), log.data() + whole_ - kept, kept) == 0)
        << what << ": the window is not the log's tail";
}

} // namespace

TEST(LogWindow, ReadsOnlyWhatWasAppendedUnlessTheLogChangedOtherwise) {
    const ResultBytes other = encodeResultRecord(runRecord(45900, 7, 2, 33));
    const std::string otherText(other.begin(), other.end());
    const struct Case {
        const char* what;
        int records; // before the first load; negative: followed by a record cut short
        std::function<void(WindowLog&)> between;
        bool whole;        // the second load reads the window whole
        uint64_t appended; // else: the records it finds appended
    } cases[] = {
        {"nothing changed", 500, [](WindowLog&) {}, false, 0},
        {"three appended", 500, [](WindowLog& t) { t.bytes() += logBytes(runs(3, 500)); }, false,
         3},
        {"appended past the window's size", 19990,
         [](WindowLog& t) { t.bytes() += logBytes(runs(30, 19990)); }, false, 30},
        {"appended to an empty log", 0, [](WindowLog& t) { t.bytes() = logBytes(runs(4)); }, false,
         4},
        {"a record cut short by a writer that died", 500,
         [](WindowLog& t) { t.bytes() += logBytes(runs(1, 500)).substr(0, 20); }, false, 0},
        {"the record cut short written over", -500,
         [](WindowLog& t) {
             t.bytes().resize(500 * kResultRecordSize);
             t.bytes() += logBytes(runs(1, 501));
         },
         false, 1},
        {"held by another PC twice", 500, [](WindowLog& t) { t.files->sharingOnShared = 2; }, false,
         0},
        {"the last record changed in place", 500,
         [&](WindowLog& t) { t.bytes().replace(499 * kResultRecordSize, 44, otherText); }, true, 0},
        {"a record corrected: the mark moved", 500,
         [&](WindowLog& t) {
             ASSERT_TRUE(
                 correctResultRecord(t.access(), 10, encodeResultRecord(runs(1, 9)[0]), other)
                     .ok());
         },
         true, 0},
        {"a record deleted, then one appended", 500,
         [&](WindowLog& t) {
             ASSERT_TRUE(
                 deleteResultRecord(t.access(), 10, encodeResultRecord(runs(1, 9)[0])).ok());
             t.bytes() += logBytes(runs(1, 600));
         },
         true, 0},
        {"shorter", 500, [](WindowLog& t) { t.bytes().resize(499 * kResultRecordSize); }, true, 0},
        {"replaced by a copy of the same length", 500,
         [&](WindowLog& t) {
             std::string copy = t.bytes();
             copy.replace(10 * kResultRecordSize, 44, otherText);
             t.files->replace(t.log(), copy);
         },
         true, 0},
        {"the mark removed", 500,
         [](WindowLog& t) { t.files->files.erase(changeMarkPath(t.log())); }, true, 0},
    };
    for (const Case& c : cases) {
        WindowLog t(c.records >= 0 ? logBytes(runs(c.records))
                                   : logBytes(runs(-c.records), std::string(20, 'x')));
        // A mark stands already, as after any earlier correction.
        ASSERT_TRUE(moveChangeMark(*t.files, t.log()).ok());
        ASSERT_TRUE(BuildSummary(t.ctx)) << c.what;
        EXPECT_TRUE(t.ctx.resultsWindow.lastWhole) << c.what << ": the first load reads whole";
        c.between(t);
        const uint64_t before = t.files->bytesRead;
        ASSERT_TRUE(BuildSummary(t.ctx)) << c.what;
        const uint64_t read = t.files->bytesRead - before;
        EXPECT_EQ(t.ctx.resultsWindow.lastWhole, c.whole) << c.what;
        if (!c.whole) {
            EXPECT_EQ(t.ctx.resultsWindow.lastAppended, c.appended) << c.what;
            EXPECT_LE(read, kResultRecordSize * c.appended + 4096) << c.what;
        }
        expectAsWholeRead(t, c.what);
    }
}

TEST(LogWindow, AChangeStoppedAtAnyStepIsSeenByTheNextLoad) {
    // A correction or a delete crashes (maybe losing power) at each of its
    // changes in turn; a program that loaded before must then hold what a
    // whole read gives, whatever the next open finished.
    const auto records = runs(40);
    const ResultBytes corrected = encodeResultRecord(runRecord(45900, 3, 1, 21));
    for (const bool remove : {false, true}) {
        for (const bool power : {false, true}) {
            for (int change = 1;; ++change) {
                WindowLog t(logBytes(records));
                ASSERT_TRUE(BuildSummary(t.ctx));
                t.files->crashOnChange = change;
                bool crashed = true;
                try {
                    const ResultBytes chosen = encodeResultRecord(records[11]);
                    if (remove)
                        deleteResultRecord(t.access(), 12, chosen);
                    else
                        correctResultRecord(t.access(), 12, chosen, corrected);
                    crashed = false;
                } catch (const SimulatedCrash&) {
                }
                t.files->crashOnChange = 0;
                if (crashed && power) t.files->powerLoss();
                ASSERT_TRUE(BuildSummary(t.ctx));
                expectAsWholeRead(t, std::string(remove ? "delete" : "correction") +
                                         (power ? " power loss" : " crash") + " at change " +
                                         std::to_string(change));
                if (!crashed) break;
            }
        }
    }
}

TEST(LogWindow, AChangeWhileTheWindowIsReadWholeIsCaughtUnderTheLock) {
    // The bulk of a whole read goes without the lock. Another PC appends,
    // corrects or deletes before any one of its reads; whatever it did, the
    // load must end with what a whole read of the log then gives.
    const struct Change {
        const char* what;
        std::function<void(WindowLog&)> make;
    } changes[] = {
        {"a run appended", [](WindowLog& t) { ASSERT_TRUE(t.append().ok()); }},
        {"a record in the window corrected",
         [](WindowLog& t) {
             const ResultBytes chosen = encodeResultRecord(runs(1, 24000)[0]);
             ASSERT_TRUE(correctResultRecord(t.access(), 24001, chosen,
                                             encodeResultRecord(runRecord(45900, 3, 1, 21)))
                             .ok());
         }},
        {"a record before the window deleted",
         [](WindowLog& t) {
             ASSERT_TRUE(deleteResultRecord(t.access(), 7, encodeResultRecord(runs(1, 6)[0])).ok());
         }},
    };
    const auto records = runs(25000);
    for (const Change& c : changes) {
        // Before the first, second and last blocks of the window, the read
        // of the part before it, and the reads that follow under the lock.
        for (const int at : {1, 2, 11, 20, 21, 22, 23}) {
            WindowLog t(logBytes(records));
            t.signIn(5, 2);
            t.ctx.state.RunTime = 50;
            int reads = 0;
            bool made = false;
            t.files->beforeRead = [&](const std::filesystem::path& file) {
                if (made || file != t.log() || ++reads < at || t.files->sharedHolders > 0) return;
                made = true;
                c.make(t);
            };
            ASSERT_TRUE(BuildSummary(t.ctx)) << c.what;
            t.files->beforeRead = nullptr;
            if (!made) continue;
            expectAsWholeRead(t, std::string(c.what) + " before read " + std::to_string(at));
        }
    }
}

TEST(LogWindow, AWholeReadThatWaitsForTheLockAgainIsNotReadTwice) {
    // A run is appended while the window is read whole, and the lock is
    // then held by another PC for a moment: the load waits and reads only
    // the run.
    const auto records = runs(25000);
    WindowLog t(logBytes(records));
    t.signIn(5, 2);
    t.ctx.state.RunTime = 50;
    bool made = false;
    t.files->beforeRead = [&](const std::filesystem::path& file) {
        if (made || file != t.log() || t.files->sharedHolders > 0) return;
        made = true;
        ASSERT_TRUE(t.append().ok());
        t.files->sharingOnShared = 1;
    };
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_TRUE(made);
    EXPECT_GT(t.events.processed, 0) << "the load did not wait";
    EXPECT_LE(t.files->bytesRead, kMaxLoadedRecords * kResultRecordSize + 4096);
    expectAsWholeRead(t, "after the wait");
}
