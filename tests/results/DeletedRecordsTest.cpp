// Deletes that can be undone: the deleted record lands in the file of
// deleted records exactly when the delete took effect, whatever change a
// crash or power loss stops it at, and putting it back appends it once and
// marks it, never twice, also under other PCs' appends.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <thread>

#include "context/Procedures.h"
#include "results/DeletedRecords.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "support/FakeSharedFile.h"
#include "support/Processes.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct UndoLog : FakeShareLog {
    explicit UndoLog(const std::vector<ResultRecord>& records) : FakeShareLog(logBytes(records)) {}
    std::vector<DeletedRecord> entries() {
        const auto it = files->files.find(deletedRecordsPath(log()));
        return it == files->files.end() ? std::vector<DeletedRecord>{}
                                        : parseDeletedRecords(it->second);
    }
    bool hasPlan() const { return files->files.count(deletePlanPath(log())) > 0; }
};

std::vector<ResultRecord> without(std::vector<ResultRecord> records, int number) {
    records.erase(records.begin() + (number - 1));
    return records;
}

int timesIn(const std::string& log, const ResultRecord& r) {
    int n = 0;
    for (const ResultRecord& x : decodeLog(log))
        n += encodeResultRecord(x) == encodeResultRecord(r);
    return n;
}

} // namespace

TEST(UndoableDelete, EachDeleteLeavesItsRecordTimeAndNumberInTheFile) {
    const auto records = numbered(5);
    UndoLog t(records);
    t.clock.set(CivilDate{2025, 6, 10}, 13.5 * 3600);
    ASSERT_TRUE(deleteResultRecord(t.access(), 2, encodeResultRecord(records[1])).ok());
    t.clock.advance(60);
    ASSERT_TRUE(deleteResultRecord(t.access(), 3, encodeResultRecord(records[3])).ok());
    EXPECT_EQ(t.bytes(), logBytes({records[0], records[2], records[4]}));

    std::vector<DeletedRecord> read;
    ASSERT_TRUE(readDeletedRecords(t.access(), read).ok());
    ASSERT_EQ(read.size(), 2u);
    const struct {
        ResultRecord record;
        uint64_t number;
        double time;
    } expected[] = {{records[1], 2, 13.5 / 24}, {records[3], 3, (13.5 * 3600 + 60) / 86400}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read[i].record, encodeResultRecord(expected[i].record)) << i;
        EXPECT_EQ(read[i].number, expected[i].number) << i;
        EXPECT_EQ(read[i].deletedDate, t.today()) << i;
        EXPECT_DOUBLE_EQ(read[i].deletedTime, expected[i].time) << i;
        EXPECT_FALSE(read[i].restored) << i;
        EXPECT_EQ(read[i].offset, i * kDeletedEntrySize) << i;
    }
    EXPECT_EQ(t.files->files[deletedRecordsPath(t.log())].size(), 2 * kDeletedEntrySize);
    EXPECT_FALSE(t.hasPlan());

    // No file yet: an empty list, and nothing is created by reading.
    UndoLog fresh(records);
    ASSERT_TRUE(readDeletedRecords(fresh.access(), read).ok());
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(fresh.files->files.count(deletedRecordsPath(fresh.log())), 0u);

    // On real files too.
    LogContext real;
    writeBytes(real.log(), logBytes(records));
    ASSERT_TRUE(deleteResultRecord(resultsLog(real.ctx), 5, encodeResultRecord(records[4])).ok());
    const auto onDisk = parseDeletedRecords(readBytes(deletedRecordsPath(real.log())));
    ASSERT_EQ(onDisk.size(), 1u);
    EXPECT_EQ(onDisk[0].number, 5u);
}

TEST(UndoableDelete, ACrashAtAnyChangeKeepsTheRecordOnceExactlyWhenTheDeleteTookEffect) {
    // Stopped at every change it makes, with or without losing what was not
    // synced, and with an older program appending before the next open.
    const auto records = numbered(6);
    for (int number : {1, 4, 6})
        for (bool power : {false, true})
            for (int appended : {0, 2}) {
                const auto late = numbered(appended, 900);
                for (int change = 1;; ++change) {
                    UndoLog t(records);
                    t.files->crashOnChange = change;
                    bool crashed = false;
                    try {
                        deleteResultRecord(t.access(), static_cast<uint64_t>(number),
                                           encodeResultRecord(records[number - 1]));
                    } catch (const SimulatedCrash&) {
                        crashed = true;
                    }
                    t.files->crashOnChange = 0;
                    if (!crashed) break;
                    if (power) t.files->powerLoss();
                    for (const ResultRecord& r : late)
                        t.oldAppend(r);
                    for (int open = 0; open < 2; ++open)
                        ASSERT_TRUE(LoadResults(t.ctx));
                    const std::string what = "record " + std::to_string(number) +
                                             (power ? " power loss" : " crash") + " appended " +
                                             std::to_string(appended) + " at change " +
                                             std::to_string(change);
                    auto expectedOld = records, expectedNew = without(records, number);
                    expectedOld.insert(expectedOld.end(), late.begin(), late.end());
                    expectedNew.insert(expectedNew.end(), late.begin(), late.end());
                    const bool isNew = t.bytes() == logBytes(expectedNew);
                    EXPECT_TRUE(isNew || t.bytes() == logBytes(expectedOld)) << what;
                    const auto entries = t.entries();
                    ASSERT_EQ(entries.size(), isNew ? 1u : 0u) << what;
                    if (isNew) {
                        EXPECT_EQ(entries[0].record, encodeResultRecord(records[number - 1]));
                        EXPECT_EQ(entries[0].number, static_cast<uint64_t>(number));
                    }
                    EXPECT_FALSE(t.hasPlan()) << what;
                }
            }
}

TEST(UndoableDelete, ARestoreAppendsTheRecordOnceMarksItAndCountsItOnItsDateAgain) {
    const auto records = numbered(4);
    UndoLog t(records);
    // A run of today at level 2 of student 3, deleted and put back.
    std::vector<ResultRecord> all = records;
    all.push_back(runRecord(t.today(), 3, 2, 45));
    t.bytes() = logBytes(all);
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(t.ctx.summary->countToday[2][3], 1);
    ASSERT_TRUE(deleteResultRecord(t.access(), 5, encodeResultRecord(all[4])).ok());
    ASSERT_TRUE(deleteResultRecord(t.access(), 1, encodeResultRecord(all[0])).ok());
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(t.ctx.summary->countToday[2][3], 0);

    t.clock.advance(3600);
    std::vector<DeletedRecord> entries;
    ASSERT_TRUE(readDeletedRecords(t.access(), entries).ok());
    ASSERT_EQ(entries.size(), 2u);
    uint64_t as = 0;
    const LogEditStatus s = restoreDeletedRecord(t.access(), entries[0], as);
    ASSERT_TRUE(s.ok()) << s.message;
    EXPECT_EQ(as, 4u);
    EXPECT_EQ(t.bytes(), logBytes({all[1], all[2], all[3], all[4]}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(t.ctx.summary->countToday[2][3], 1);
    EXPECT_EQ(t.ctx.summary->bestTime[2][3], 45);

    ASSERT_TRUE(readDeletedRecords(t.access(), entries).ok());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].restored);
    EXPECT_EQ(entries[0].restoredAs, 4u);
    EXPECT_EQ(entries[0].restoredDate, t.today());
    EXPECT_DOUBLE_EQ(entries[0].restoredTime, 11.0 / 24);
    EXPECT_FALSE(entries[1].restored);
    EXPECT_FALSE(t.hasPlan());

    // Once back, it cannot be put back again, neither from the entry as
    // listed before nor as it is now.
    for (const DeletedRecord& chosen : {entries[0], [&] {
                                            DeletedRecord before = entries[0];
                                            before.restored = false;
                                            return before;
                                        }()}) {
        EXPECT_EQ(restoreDeletedRecord(t.access(), chosen, as).result, EditResult::RecordChanged);
        EXPECT_EQ(timesIn(t.bytes(), all[4]), 1);
    }
    // An entry that is not in the file is not put back.
    DeletedRecord stranger = entries[1];
    stranger.number = 77;
    EXPECT_EQ(restoreDeletedRecord(t.access(), stranger, as).result, EditResult::RecordChanged);
    EXPECT_EQ(timesIn(t.bytes(), all[0]), 0);
}

TEST(UndoableDelete, ARestoreStoppedOrFailingAnywhereIsBackOnceOrNotAtAll) {
    // A crash at every change (losing what was not synced, or not), with an
    // older program appending before the next open; and every single failing
    // write, sync or removal. The record is in the log once exactly when its
    // entry is marked, and a second try puts it back once.
    const auto records = numbered(5);
    enum Kind { Crash, PowerLoss, Write, Sync, Remove };
    for (Kind kind : {Crash, PowerLoss, Write, Sync, Remove})
        for (int appended : {0, 1})
            for (int n = 1;; ++n) {
                UndoLog t(records);
                ASSERT_TRUE(deleteResultRecord(t.access(), 2, encodeResultRecord(records[1])).ok());
                t.files->settle();
                const DeletedRecord chosen = t.entries().at(0);
                uint64_t as = 0;
                LogEditStatus s;
                bool stopped = false;
                const int changes = t.files->changes, writes = t.files->writes,
                          syncs = t.files->syncs, removes = t.files->removes;
                switch (kind) {
                case Crash:
                case PowerLoss:
                    t.files->crashOnChange = changes + n;
                    break;
                case Write:
                    t.files->failOnWrite = writes + n;
                    break;
                case Sync:
                    t.files->failOnSync = syncs + n;
                    break;
                case Remove:
                    t.files->failOnRemove = removes + n;
                    break;
                }
                try {
                    s = restoreDeletedRecord(t.access(), chosen, as);
                } catch (const SimulatedCrash&) {
                    stopped = true;
                }
                t.files->crashOnChange = t.files->failOnWrite = t.files->failOnSync =
                    t.files->failOnRemove = 0;
                if (kind == PowerLoss && stopped) t.files->powerLoss();
                if (appended) t.oldAppend(runRecord(46000, 9, 1, 33));
                ASSERT_TRUE(LoadResults(t.ctx));
                const std::string what = "kind " + std::to_string(kind) + " appended " +
                                         std::to_string(appended) + " at " + std::to_string(n);
                const int times = timesIn(t.bytes(), records[1]);
                ASSERT_LE(times, 1) << what;
                auto entries = t.entries();
                ASSERT_EQ(entries.size(), 1u) << what;
                EXPECT_EQ(entries[0].restored, times == 1) << what;
                if (!stopped) {
                    EXPECT_EQ(s.ok(), times == 1) << what << ": " << s.message;
                }
                EXPECT_FALSE(t.hasPlan()) << what;
                EXPECT_FALSE(t.files->locked) << what;
                if (times == 1) {
                    const auto log = decodeLog(t.bytes());
                    ASSERT_GE(log.size(), entries[0].restoredAs) << what;
                    EXPECT_EQ(encodeResultRecord(log[entries[0].restoredAs - 1]),
                              encodeResultRecord(records[1]))
                        << what;
                } else {
                    ASSERT_TRUE(restoreDeletedRecord(t.access(), entries[0], as).ok()) << what;
                }
                EXPECT_EQ(timesIn(t.bytes(), records[1]), 1) << what;
                EXPECT_EQ(decodeLog(t.bytes()).size(), records.size() + appended) << what;
                // Past the last change, or past the calls a restore makes.
                if ((kind == Crash || kind == PowerLoss) ? !stopped : n == 8) break;
            }
}

TEST(UndoableDelete, ARestoreLeftMidwayThatCannotBeReadNamesTheLog) {
    // A bad sector under the restored record: finishing the restore fails on
    // the log, and the teacher is told so, not that the file of deleted
    // records could not be written.
    const auto records = numbered(5);
    for (int n = 1; n <= 12; ++n) {
        UndoLog t(records);
        ASSERT_TRUE(deleteResultRecord(t.access(), 2, encodeResultRecord(records[1])).ok());
        t.files->settle();
        uint64_t as = 0;
        t.files->crashOnChange = t.files->changes + n;
        try {
            restoreDeletedRecord(t.access(), t.entries().at(0), as);
        } catch (const SimulatedCrash&) {
        }
        t.files->crashOnChange = 0;
        t.files->badByte = (records.size() - 1) * kResultRecordSize;
        const LogEditStatus s = deleteResultRecord(t.access(), 1, encodeResultRecord(records[0]));
        EXPECT_EQ(s.message.find(kDeletedRecordsName), std::string::npos)
            << "crash at " << n << ": " << s.message;
    }
}

namespace {

pid_t spawnHelper(const std::string& name, const std::vector<std::string>& args) {
    return spawnProgram(helperProgram(name), args);
}

ResultRecord beforeRecord(int id) {
    ResultRecord r = runRecord(45000 + id, 4000, 1 + id % 5, 900000 + id);
    r.schoolCode = resultText("B");
    return r;
}

} // namespace

TEST(UndoableDelete, DeletesAndRestoresWhileOtherPCsAppendLoseAndDoubleNothing) {
    // A teacher's PC deletes the first record and puts it back, 40 times,
    // while four PCs append 400 runs each.
    LogContext t;
    constexpr int kWriters = 4, kPerWriter = 400, kBefore = 60, kCycles = 40;
    std::vector<ResultRecord> before;
    for (int id = 0; id < kBefore; ++id)
        before.push_back(beforeRecord(id));
    writeBytes(t.log(), logBytes(before));
    std::vector<pid_t> writers;
    for (int w = 1; w <= kWriters; ++w)
        writers.push_back(spawnHelper("ResultsWriter", {t.ctx.folders.DataFolder, std::to_string(w),
                                                        std::to_string(kPerWriter), "2000"}));
    const pid_t editor =
        spawnHelper("ResultsEditor", {t.ctx.folders.DataFolder, "cycle", std::to_string(kCycles)});
    EXPECT_EQ(waitForExit(editor), 0);
    for (pid_t pid : writers)
        EXPECT_EQ(waitForExit(pid), 0);

    const auto records = decodeLog(readBytes(t.log()));
    ASSERT_EQ(records.size(), size_t{kBefore + kWriters * kPerWriter});
    std::map<int, int> next;
    std::multiset<int> seenBefore;
    for (const ResultRecord& r : records) {
        if (r.seconds >= 900000) {
            seenBefore.insert(r.seconds - 900000);
            continue;
        }
        ASSERT_TRUE(r.studentNumber >= 1 && r.studentNumber <= kWriters);
        ASSERT_EQ(r.seconds, r.studentNumber * 100000 + next[r.studentNumber]++);
    }
    for (int id = 0; id < kBefore; ++id)
        EXPECT_EQ(seenBefore.count(id), 1u) << id;
    for (int w = 1; w <= kWriters; ++w)
        EXPECT_EQ(next[w], kPerWriter);
    // Every delete is in the file once, and every one was put back.
    const auto entries = parseDeletedRecords(readBytes(deletedRecordsPath(t.log())));
    ASSERT_EQ(entries.size(), size_t{kCycles});
    std::set<std::pair<uint64_t, ResultBytes>> distinct;
    for (const DeletedRecord& e : entries) {
        EXPECT_TRUE(e.restored);
        EXPECT_EQ(e.number, 1u);
        distinct.insert({e.offset, e.record});
    }
    EXPECT_EQ(distinct.size(), entries.size());
    EXPECT_FALSE(std::filesystem::exists(deletePlanPath(t.log())));
}

TEST(UndoableDelete, AnEditorKilledAfterAnyStepOfADeleteOrRestoreLeavesItOnce) {
    for (const char* mode : {"delete", "restore"}) {
        const int steps = std::string(mode) == "delete" ? 5 : 4;
        for (int step = 1; step <= steps; ++step) {
            LogContext t;
            std::vector<ResultRecord> records;
            for (int id = 0; id < 20; ++id)
                records.push_back(beforeRecord(id));
            writeBytes(t.log(), logBytes(records));
            const std::string folder = t.ctx.folders.DataFolder;
            if (std::string(mode) == "restore") {
                ASSERT_EQ(waitForExit(spawnHelper("ResultsEditor", {folder, "delete", "7"})), 0);
            }
            EXPECT_EQ(
                waitForExit(spawnHelper("ResultsEditor", {folder, mode, mode[0] == 'd' ? "7" : "0",
                                                          std::to_string(step)})),
                128 + SIGKILL)
                << mode << " " << step;
            ASSERT_TRUE(LoadResults(t.ctx));
            // The plan is on disk from the first step on: the change is finished.
            const auto log = decodeLog(readBytes(t.log()));
            const auto entries = parseDeletedRecords(readBytes(deletedRecordsPath(t.log())));
            ASSERT_EQ(entries.size(), 1u) << mode << " " << step;
            const bool back = std::string(mode) == "restore" && step >= 2;
            EXPECT_EQ(timesIn(readBytes(t.log()), records[6]), back ? 1 : 0) << mode << step;
            EXPECT_EQ(entries[0].restored, back) << mode << " " << step;
            EXPECT_EQ(log.size(), back ? 20u : 19u);
            EXPECT_FALSE(std::filesystem::exists(deletePlanPath(t.log())));
        }
    }
}
