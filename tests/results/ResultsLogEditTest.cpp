// Correcting and deleting records of the shared log: nothing written over
// a record that is no longer the one chosen, a failure never taken for
// success, and a delete stopped at any change (a crash) or losing what was
// not synced (a power loss) found by the next open and finished or undone,
// records appended meanwhile by an older program kept.
#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "support/FakeSharedFile.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct EditLog : FakeShareLog {
    using FakeShareLog::FakeShareLog;
    bool hasTemp() const { return files->files.count(deletePlanPath(log())) > 0; }
    std::string& temp() { return files->files[deletePlanPath(log())]; }
    // The temporary file of the earlier versions' delete.
    bool hasDesignTemp() const { return files->files.count(resultsTempPath(log())) > 0; }
    std::string& designTemp() { return files->files[resultsTempPath(log())]; }
};

ResultBytes chosenBytes(const ResultRecord& r) {
    return encodeResultRecord(r);
}

std::vector<ResultRecord> without(std::vector<ResultRecord> records, int number) {
    records.erase(records.begin() + (number - 1));
    return records;
}

std::vector<ResultRecord> joined(std::vector<ResultRecord> a, const std::vector<ResultRecord>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(LogCorrection, WritesOnlyOverTheRecordChosen) {
    const auto records = numbered(4);
    ResultRecord corrected = records[2];
    corrected.studentNumber = 77;
    corrected.seconds = 61;
    const struct Case {
        const char* what;
        uint64_t number;
        ResultBytes chosen;
        EditResult result;
    } cases[] = {
        {"still as chosen", 3, chosenBytes(records[2]), EditResult::Done},
        {"changed meanwhile", 3, chosenBytes(records[1]), EditResult::RecordChanged},
        {"gone meanwhile", 5, chosenBytes(records[2]), EditResult::RecordChanged},
        {"no record 0", 0, chosenBytes(records[0]), EditResult::RecordChanged},
    };
    for (const Case& c : cases) {
        EditLog t(logBytes(records));
        const LogEditStatus s =
            correctResultRecord(t.access(), c.number, c.chosen, chosenBytes(corrected));
        EXPECT_EQ(s.result, c.result) << c.what;
        const auto expected =
            c.result == EditResult::Done
                ? std::vector<ResultRecord>{records[0], records[1], corrected, records[3]}
                : records;
        EXPECT_EQ(t.bytes(), logBytes(expected)) << c.what;
        EXPECT_EQ(t.files->openNow, 0) << c.what;
        EXPECT_FALSE(t.files->locked) << c.what;
    }
}

TEST(LogCorrection, FailedWriteOrSyncIsReportedAndPutsTheRecordBack) {
    const auto records = numbered(3);
    ResultRecord corrected = records[1];
    corrected.seconds = 5;
    for (const char* step : {"write", "torn write", "sync"}) {
        EditLog t(logBytes(records));
        // The change mark's write and sync come first.
        if (std::string(step) == "sync")
            t.files->failOnSync = 2;
        else
            t.files->failOnWrite = 2;
        if (std::string(step) == "torn write") t.files->bytesBeforeFailure = 22;
        const LogEditStatus s =
            correctResultRecord(t.access(), 2, chosenBytes(records[1]), chosenBytes(corrected));
        EXPECT_EQ(s.result, EditResult::Failed) << step;
        EXPECT_NE(s.message.find(kResultsLogName), std::string::npos) << s.message;
        EXPECT_EQ(t.bytes(), logBytes(records)) << step;
        EXPECT_FALSE(t.files->locked) << step;
    }
}

TEST(LogCorrection, HeldLogIsWaitedFor) {
    const auto records = numbered(2);
    EditLog t(logBytes(records));
    t.files->sharingOnLock = 3;
    ResultRecord corrected = records[0];
    corrected.studentNumber = 9;
    EXPECT_TRUE(
        correctResultRecord(t.access(), 1, chosenBytes(records[0]), chosenBytes(corrected)).ok());
    EXPECT_EQ(t.files->locks, 4);
    EXPECT_GT(t.events.processed, 3);
    EXPECT_EQ(decodeLog(t.bytes())[0].studentNumber, 9);
}

TEST(LogDelete, TheRecordsAfterMoveDownAndTheLogShrinks) {
    const auto records = numbered(5);
    for (int number = 1; number <= 5; ++number) {
        EditLog t(logBytes(records, std::string(17, 'x'))); // a record cut short at the end
        const LogEditStatus s = deleteResultRecord(t.access(), static_cast<uint64_t>(number),
                                                   chosenBytes(records[number - 1]));
        ASSERT_TRUE(s.ok()) << s.message;
        EXPECT_EQ(t.bytes(), logBytes(without(records, number))) << number;
        EXPECT_FALSE(t.hasTemp());
        EXPECT_EQ(t.files->openNow, 0);
        EXPECT_FALSE(t.files->locked);
    }
    // On real files too.
    LogContext real;
    writeBytes(real.log(), logBytes(numbered(3)));
    ASSERT_TRUE(deleteResultRecord(resultsLog(real.ctx), 2, chosenBytes(numbered(3)[1])).ok());
    const std::string bytes = readBytes(real.log());
    EXPECT_EQ(bytes.size(), 88u);
    EXPECT_EQ(bytes, logBytes({numbered(3)[0], numbered(3)[2]}));
    EXPECT_FALSE(std::filesystem::exists(resultsTempPath(real.log())));
}

TEST(LogDelete, NothingIsWrittenWhenTheRecordIsNoLongerTheOneChosen) {
    const auto records = numbered(3);
    EditLog t(logBytes(records));
    EXPECT_EQ(deleteResultRecord(t.access(), 2, chosenBytes(records[2])).result,
              EditResult::RecordChanged);
    EXPECT_EQ(deleteResultRecord(t.access(), 4, chosenBytes(records[2])).result,
              EditResult::RecordChanged);
    EXPECT_EQ(t.bytes(), logBytes(records));
    EXPECT_FALSE(t.hasTemp());
    EXPECT_EQ(t.files->writes, 0);
}

namespace {

// A plan of this program as a crash leaves it: written, the log untouched.
std::string planOfStoppedDelete(const std::vector<ResultRecord>& records, int number) {
    EditLog t(logBytes(records));
    t.files->failOnSync = 2; // after the change mark's: keeps the plan, fails the delete
    t.files->failOnRemove = 1;
    deleteResultRecord(t.access(), static_cast<uint64_t>(number), chosenBytes(records[number - 1]));
    EXPECT_TRUE(t.hasTemp());
    return t.temp();
}

} // namespace

TEST(LogDelete, WhatAnotherProgramLeftUnderAPlansNameIsLeftAloneAndSlowsNoLoad) {
    const auto records = numbered(3);
    const std::string plan = planOfStoppedDelete(records, 2);
    const std::string copy = logBytes(numbered(2, 50));
    const struct Case {
        const char* what;
        bool designName; // under the earlier versions' temporary name, else under the plan's
        std::string bytes;
    } cases[] = {
        {"a copy of a log", true, copy},
        {"a copy whose first record is dated 0", true, std::string(8, '\0') + copy.substr(8)},
        {"an empty file", true, ""},
        {"the start of a plan's magic", true, plan.substr(0, 5)},
        {"a plan of an earlier copy cut short", true, plan.substr(0, plan.size() - 1)},
        {"a plan with a wrong checksum", true, plan.substr(0, plan.size() - 1) + "!"},
        {"text under the plan's own name", false, "notes"},
    };
    for (const Case& c : cases) {
        EditLog t(logBytes(records));
        std::string& file = c.designName ? t.designTemp() : t.temp();
        file = c.bytes;
        const LogEditStatus s = deleteResultRecord(t.access(), 1, chosenBytes(records[0]));
        EXPECT_EQ(s.result, EditResult::Failed) << c.what;
        EXPECT_NE(s.message.find(c.designName ? kResultsTempName : kDeletePlanName),
                  std::string::npos)
            << s.message;
        EXPECT_EQ(t.bytes(), logBytes(records)) << c.what;
        // Runs are recorded and loaded as before; no load asks for the
        // exclusive lock, and the file stays as it was.
        t.signIn(3, 2);
        t.ctx.state.RunTime = 40;
        ASSERT_TRUE(t.append().ok());
        const int locks = t.files->locks;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(LoadResults(t.ctx));
        EXPECT_EQ(t.files->locks, locks) << c.what;
        EXPECT_EQ(t.ctx.runEntries.count(), 4) << c.what;
        EXPECT_EQ(c.designName ? t.designTemp() : t.temp(), c.bytes) << c.what;
    }
}

TEST(LogDelete, APlanOfAnEarlierCopyUnderTheTemporaryNameIsFinished) {
    const auto records = numbered(4);
    const std::string plan = planOfStoppedDelete(records, 2);
    EditLog t(logBytes(records));
    t.designTemp() = plan;
    ASSERT_TRUE(LoadResults(t.ctx));
    EXPECT_EQ(t.bytes(), logBytes(without(records, 2)));
    EXPECT_FALSE(t.hasDesignTemp());
    EXPECT_EQ(t.ctx.runEntries.count(), 3);
}

TEST(LogDelete, APlanCutShortUnderItsOwnNameIsRemovedAndTheLogKept) {
    // A delete that stopped while writing its plan: the log was not touched.
    const auto records = numbered(4);
    const std::string plan = planOfStoppedDelete(records, 2);
    for (size_t cut : {size_t{0}, size_t{5}, size_t{60}, plan.size() - 1}) {
        EditLog t(logBytes(records));
        t.temp() = plan.substr(0, cut);
        ASSERT_TRUE(LoadResults(t.ctx));
        EXPECT_FALSE(t.hasTemp()) << cut;
        EXPECT_EQ(t.bytes(), logBytes(records)) << cut;
        EXPECT_EQ(t.ctx.runEntries.count(), 4);
    }
}

TEST(LogDelete, OneFailingCallIsReportedOrFinishedButTheLogIsAlwaysWhole) {
    // Each write, sync, truncation and removal in turn fails once. The delete
    // either fails before touching the log (old log) or is finished from its
    // plan (new log); OK only for the new log.
    const auto records = numbered(6);
    const std::string oldLog = logBytes(records);
    const std::string newLog = logBytes(without(records, 3));
    enum Kind { Write, TornWrite, Sync, Truncate, Remove };
    for (Kind kind : {Write, TornWrite, Sync, Truncate, Remove}) {
        for (int n = 1; n <= 6; ++n) {
            EditLog t(oldLog);
            t.files->failError = EIO;
            switch (kind) {
            case Write:
            case TornWrite:
                t.files->failOnWrite = n;
                t.files->bytesBeforeFailure = kind == TornWrite ? 30 : 0;
                break;
            case Sync:
                t.files->failOnSync = n;
                break;
            case Truncate:
                t.files->failOnTruncate = n;
                break;
            case Remove:
                t.files->failOnRemove = n;
                break;
            }
            const LogEditStatus s = deleteResultRecord(t.access(), 3, chosenBytes(records[2]));
            const std::string what = "kind " + std::to_string(kind) + " call " + std::to_string(n);
            EXPECT_TRUE(t.bytes() == oldLog || t.bytes() == newLog) << what;
            EXPECT_EQ(s.ok(), t.bytes() == newLog) << what << ": " << s.message;
            if (!s.ok()) {
                EXPECT_NE(s.message.find("できませんでした"), std::string::npos);
            }
            EXPECT_FALSE(t.files->locked) << what;
            EXPECT_EQ(t.files->openNow, 0) << what;
            // The next open finds nothing left to do but a stale plan.
            ASSERT_TRUE(LoadResults(t.ctx)) << what;
            EXPECT_TRUE(t.bytes() == oldLog || t.bytes() == newLog) << what;
            EXPECT_FALSE(t.hasTemp()) << what;
        }
    }
}

namespace {

// Where a delete of record `number` of `records` (followed by `tail`) may
// stop, and what the next open must make of it.
struct CrashCase {
    std::vector<ResultRecord> records;
    std::string tail;
    int number;
    bool powerLoss;
    std::vector<ResultRecord> appended; // by an older program after the crash

    std::string oldLog() const {
        return appended.empty() ? logBytes(records, tail) : logBytes(joined(records, appended));
    }
    std::string newLog() const { return logBytes(joined(without(records, number), appended)); }
    std::string describe(int change) const {
        return "record " + std::to_string(number) + (tail.empty() ? "" : " +tail") +
               (powerLoss ? " power loss" : " crash") + " appended " +
               std::to_string(appended.size()) + " at change " + std::to_string(change);
    }
};

// Stops the delete at change `change`; false when the delete made fewer changes.
bool crashDelete(EditLog& t, const CrashCase& c, int change) {
    t.files->crashOnChange = change;
    try {
        const LogEditStatus s = deleteResultRecord(t.access(), static_cast<uint64_t>(c.number),
                                                   chosenBytes(c.records[c.number - 1]));
        EXPECT_TRUE(s.ok()) << s.message;
        t.files->crashOnChange = 0;
        return false;
    } catch (const SimulatedCrash&) {
    }
    t.files->crashOnChange = 0;
    if (c.powerLoss) t.files->powerLoss();
    for (const ResultRecord& r : c.appended)
        t.oldAppend(r);
    return true;
}

std::vector<CrashCase> crashCases() {
    std::vector<CrashCase> cases;
    const auto records = numbered(6);
    for (int number : {1, 4, 6})
        for (bool power : {false, true})
            for (size_t appended : {size_t{0}, size_t{2}})
                for (const std::string& tail : {std::string(), std::string(9, 'z')})
                    cases.push_back({records, tail, number, power, numbered(int(appended), 900)});
    return cases;
}

} // namespace

TEST(LogDeleteCrash, TheNextOpenFindsTheWholeOldOrTheWholeNewLog) {
    for (const CrashCase& c : crashCases()) {
        for (int change = 1;; ++change) {
            EditLog t(logBytes(c.records, c.tail));
            if (!crashDelete(t, c, change)) {
                EXPECT_GT(change, 5) << "the delete made too few changes";
                EXPECT_EQ(t.bytes(), logBytes(without(c.records, c.number)));
                break;
            }
            ASSERT_TRUE(LoadResults(t.ctx)) << c.describe(change);
            const std::string what = c.describe(change);
            EXPECT_TRUE(t.bytes() == c.oldLog() || t.bytes() == c.newLog())
                << what << ": " << decodeLog(t.bytes()).size() << " records";
            EXPECT_FALSE(t.hasTemp()) << what;
            EXPECT_FALSE(t.files->locked) << what;
            // Later runs land after the records, once.
            const std::string before = t.bytes();
            t.signIn(8, 1);
            t.ctx.state.RunTime = 70;
            ASSERT_TRUE(t.append().ok());
            EXPECT_EQ(t.bytes().size(),
                      before.size() / kResultRecordSize * kResultRecordSize + kResultRecordSize)
                << what;
        }
    }
}

TEST(LogDeleteCrash, AFinishThatStopsIsFinishedByTheOpenAfterIt) {
    // The delete stops; an older program appends; the append that finishes
    // the delete stops too, at any of its own changes, maybe losing power.
    const auto records = numbered(6);
    for (bool power : {false, true}) {
        const CrashCase c{records, {}, 2, power, numbered(3, 900)};
        for (int first = 1;; ++first) {
            EditLog probe(logBytes(records));
            if (!crashDelete(probe, c, first)) break;
            for (int second = 1;; ++second) {
                EditLog t(logBytes(records));
                crashDelete(t, c, first);
                t.files->settle();
                const int before = t.files->changes;
                t.files->crashOnChange = before + second;
                ResultRecord late = runRecord(45100, 44, 2, 80);
                bool stopped = false;
                try {
                    AppendResult(t.access(), late);
                } catch (const SimulatedCrash&) {
                    stopped = true;
                }
                t.files->crashOnChange = 0;
                if (stopped && power) t.files->powerLoss();
                ASSERT_TRUE(LoadResults(t.ctx));
                const std::string what = c.describe(first) + " then at " + std::to_string(second);
                const auto got = decodeLog(t.bytes());
                // Whole old or new with the appended records, and the late run
                // at most once, at the end.
                std::string rest = t.bytes();
                if (!got.empty() && got.back().studentNumber == 44) {
                    rest.resize(rest.size() - kResultRecordSize);
                } else {
                    EXPECT_TRUE(stopped) << what << ": the late run is lost";
                }
                EXPECT_TRUE(rest == c.oldLog() || rest == c.newLog()) << what;
                EXPECT_FALSE(t.hasTemp()) << what;
                if (!stopped) break;
            }
        }
    }
}
