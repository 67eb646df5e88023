// Several programs appending to and reading one log at once, as the PCs of
// a classroom do, with real processes and real file locks.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "context/Procedures.h"
#include "platform/SharedFile.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"
#include "support/HelperProcesses.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// An append as an older program makes it: open, lock (tried again until it
// is free), length, write, unlock, close; no look for an unfinished delete.
void olderProgramAppends(const std::filesystem::path& log, const ResultRecord& r) {
    PosixSharedFileSystem fs;
    FileStatus s;
    std::unique_ptr<SharedFile> file = fs.open(log, SharedAccess::Write, s);
    ASSERT_TRUE(file);
    while (file->lockExclusive().fault == FileFault::Sharing)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    uint64_t length = 0;
    ASSERT_TRUE(file->size(length).ok());
    const ResultBytes b = encodeResultRecord(r);
    ASSERT_TRUE(
        file->writeAt(length / kResultRecordSize * kResultRecordSize, b.data(), b.size()).ok());
    ASSERT_TRUE(file->close().ok());
}

// A helper that locks the log, writes half a record and waits to be killed.
struct HalfWriter {
    pid_t pid = -1;
    explicit HalfWriter(const LogContext& t, const std::string& tag) {
        const auto ready = t.dir / ("ready-" + tag);
        pid = spawnHelper("ResultsHalfWriter", {t.ctx.folders.DataFolder, ready.string()});
        EXPECT_TRUE(pid > 0 && waitForFile(ready)) << "the half writer did not get the lock";
    }
    ~HalfWriter() { kill(); }
    void kill() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        EXPECT_EQ(waitFor(pid), 128 + SIGKILL);
        pid = -1;
    }
};

// Writers 1..writers append perWriter records each while the readers load
// the log over and over; the readers end once every writer has.
void runWritersAndReaders(LogContext& t, int writers, int perWriter, int readers,
                          const std::vector<std::string>& readerOptions = {}) {
    const auto stop = t.dir / "stop";
    std::vector<pid_t> readerPids, writerPids;
    std::vector<std::string> readerArgs = {t.ctx.folders.DataFolder, stop.string(),
                                           std::to_string(writers)};
    readerArgs.insert(readerArgs.end(), readerOptions.begin(), readerOptions.end());
    for (int r = 0; r < readers; ++r)
        readerPids.push_back(spawnHelper("ResultsReader", readerArgs));
    for (int w = 1; w <= writers; ++w)
        writerPids.push_back(
            spawnHelper("ResultsWriter",
                        {t.ctx.folders.DataFolder, std::to_string(w), std::to_string(perWriter)}));
    for (pid_t pid : writerPids)
        EXPECT_EQ(waitFor(pid), 0) << "writer " << pid;
    writeBytes(stop, "");
    for (pid_t pid : readerPids)
        EXPECT_EQ(waitFor(pid), 0) << "reader " << pid;
}

} // namespace

TEST(ResultsSharing, ConcurrentWritersLoseNothingAndReadersSeeOnlyWholeRecords) {
    LogContext t;
    constexpr int kWriters = 8;
    constexpr int kPerWriter = 1000;
    constexpr int kReaders = 3;
    runWritersAndReaders(t, kWriters, kPerWriter, kReaders);

    const std::string bytes = readBytes(t.log());
    ASSERT_EQ(bytes.size(), size_t{kWriters} * kPerWriter * kResultRecordSize);
    std::map<int, int> next;
    for (const ResultRecord& r : decodeLog(bytes)) {
        const int w = r.studentNumber;
        ASSERT_TRUE(w >= 1 && w <= kWriters) << w;
        const int seq = next[w]++;
        ASSERT_EQ(r.seconds, w * 100000 + seq) << "writer " << w;
        ASSERT_EQ(r.level, seq % 35 + 1);
        ASSERT_EQ(resultTextUtf8(r.schoolCode), "W" + std::to_string(w) + "   ");
        ASSERT_EQ(std::string(r.countText.data(), 5), "0    ");
        ASSERT_EQ(std::string(r.pointsText.data(), 5), "     ");
        ASSERT_EQ(r.spareText, (ResultText{}));
        ASSERT_GT(r.date, 40000);
        ASSERT_TRUE(r.timeOfDay >= 0 && r.timeOfDay < 1);
    }
    for (int w = 1; w <= kWriters; ++w)
        EXPECT_EQ(next[w], kPerWriter) << "writer " << w;
}

TEST(ResultsSharing, AFileOfAnEarlierVersionUnderTheTemporaryNameSlowsNoReadAndStays) {
    // An earlier version's delete copies the log under the temporary name;
    // one that stopped leaves the copy there. Its first record may be dated
    // 0, so that it begins with zero bytes.
    LogContext t;
    constexpr int kWriters = 8;
    constexpr int kPerWriter = 250;
    std::string copy = logBytes({runRecord(0, 9, 1, 50), runRecord(t.today(), 9, 2, 60)});
    const auto foreign = resultsTempPath(t.log());
    writeBytes(foreign, copy);
    runWritersAndReaders(t, kWriters, kPerWriter, 3, {"sharedOnly"});
    EXPECT_EQ(readBytes(foreign), copy);
    std::map<int, int> count;
    for (const ResultRecord& r : decodeLog(readBytes(t.log())))
        ++count[r.studentNumber];
    for (int w = 1; w <= kWriters; ++w)
        EXPECT_EQ(count[w], kPerWriter) << "writer " << w;
}

TEST(ResultsSharing, WriterKilledMidRecordLeavesALogThatLoadsAndAppendsWhole) {
    LogContext t;
    writeBytes(t.log(), logBytes({runRecord(t.today(), 1, 1, 50), runRecord(t.today(), 2, 1, 51),
                                  runRecord(t.today(), 3, 1, 52)}));
    t.signIn(7, 2);

    // The reader meets the dead-to-be writer's lock, waits, and reads once it is gone.
    {
        HalfWriter w(t, "load");
        t.events.onProcess = [&] { w.kill(); };
        ASSERT_TRUE(LoadResults(t.ctx));
        t.events.onProcess = nullptr;
        EXPECT_EQ(w.pid, -1) << "the load never waited for the lock";
    }
    EXPECT_EQ(t.ctx.runEntries.count(), 3);
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(readBytes(t.log()).size(), 3 * kResultRecordSize + 22);

    // The writer likewise, and its record replaces the half one.
    {
        HalfWriter w(t, "append");
        t.events.onProcess = [&] { w.kill(); };
        t.ctx.state.RunTime = 44;
        ASSERT_TRUE(t.append().ok());
        t.events.onProcess = nullptr;
        EXPECT_EQ(w.pid, -1) << "the append never waited for the lock";
    }
    const std::string bytes = readBytes(t.log());
    ASSERT_EQ(bytes.size(), 4 * kResultRecordSize);
    const auto records = decodeLog(bytes);
    EXPECT_EQ(records[2].seconds, 52);
    EXPECT_EQ(records[3].studentNumber, 7);
    EXPECT_EQ(records[3].level, 2);
    EXPECT_EQ(records[3].seconds, 44);
    ASSERT_TRUE(LoadResults(t.ctx));
    EXPECT_EQ(t.ctx.runEntries.count(), 4);
}

TEST(ResultsSharing, LockHeldInThisProcessIsWaitedFor) {
    LogContext t;
    writeBytes(t.log(), logBytes({runRecord(t.today(), 1, 1, 50)}));
    t.signIn(7, 2);
    PosixSharedFileSystem fs;
    for (int step = 0; step < 2; ++step) {
        FileStatus s;
        std::unique_ptr<SharedFile> holder = fs.open(t.log(), SharedAccess::Write, s);
        ASSERT_TRUE(holder && holder->lockExclusive().ok());
        int waits = 0;
        t.events.onProcess = [&] {
            if (++waits == 250) { // after two and a half seconds
                EXPECT_TRUE(holder->close().ok());
            }
        };
        const uint32_t before = t.clock.tickMs();
        ASSERT_TRUE(step == 0 ? LoadResults(t.ctx) : t.append().ok());
        t.events.onProcess = nullptr;
        EXPECT_GE(t.clock.tickMs() - before, 3000u) << "step " << step;
    }
    EXPECT_EQ(readBytes(t.log()).size(), 2 * kResultRecordSize);
}

namespace {

// Records of the log before the teacher's changes, told apart by their seconds.
constexpr int32_t kBeforeSeconds = 900000;
ResultRecord beforeRecord(int id) {
    ResultRecord r = runRecord(45000 + id, 4000, 1 + id % 5, kBeforeSeconds + id);
    r.schoolCode = resultText("B");
    return r;
}

} // namespace

TEST(ResultsSharing, DeletesAndCorrectionsWhileEightWritersAppendLoseNothing) {
    // The teacher deletes 50 records one by one and corrects 50 others while
    // eight PCs append 1000 runs each and three load the log the whole time.
    // Every append waiting for the log lands in it once; every change hits
    // the record chosen; no load sees a torn, doubled or lost record.
    LogContext t;
    t.events.sleepMicros = 100; // waits for the lock as long as the writers' waits
    constexpr int kWriters = 8;
    constexpr int kPerWriter = 1000;
    constexpr int kBefore = 300;
    constexpr int kChanges = 100; // records 0..99: even ones deleted, odd ones corrected
    std::vector<ResultRecord> before;
    for (int id = 0; id < kBefore; ++id)
        before.push_back(beforeRecord(id));
    writeBytes(t.log(), logBytes(before));

    const auto stop = t.dir / "stop";
    // Readers stop by themselves when the test ends early.
    struct StopReaders {
        std::filesystem::path file;
        ~StopReaders() { writeBytes(file, ""); }
    } stopReaders{stop};
    std::vector<pid_t> readers;
    for (int r = 0; r < 3; ++r)
        readers.push_back(spawnHelper("ResultsReader", {t.ctx.folders.DataFolder, stop.string(),
                                                        std::to_string(kWriters), "edited"}));
    // Each PC pauses a little between its runs, so that the teacher's tool
    // finds the log free now and then, as it does in a classroom.
    std::vector<pid_t> writers;
    for (int w = 1; w <= kWriters; ++w)
        writers.push_back(spawnHelper("ResultsWriter", {t.ctx.folders.DataFolder, std::to_string(w),
                                                        std::to_string(kPerWriter), "2000"}));
    const LogAccess log = resultsLog(t.ctx);
    int deleted = 0, corrected = 0, duringAppends = 0;
    std::set<int> running(writers.begin(), writers.end());
    uint64_t lastSize = 0;
    auto pollWriters = [&] {
        for (auto it = running.begin(); it != running.end();) {
            int status = 0;
            if (ended(*it, status)) {
                EXPECT_EQ(status, 0) << "writer " << *it;
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    };
    for (int id = 0; id < kChanges; ++id) {
        // Spread the changes over the appends.
        for (pollWriters(); !running.empty(); pollWriters()) {
            std::error_code ec;
            const uint64_t size = std::filesystem::file_size(t.log(), ec);
            if (size >= lastSize + 40 * kResultRecordSize) {
                lastSize = size;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // The records before `id` that are left: the deleted ones are gone.
        const uint64_t number = static_cast<uint64_t>(id - (id + 1) / 2) + 1;
        ResultBytes chosen{};
        bool exists = false;
        ASSERT_TRUE(readResultRecord(log, number, chosen, exists).ok());
        ASSERT_TRUE(exists);
        ASSERT_EQ(decodeResultRecord(chosen.data()).seconds, kBeforeSeconds + id) << id;
        if (id % 2 == 0) {
            const LogEditStatus s = deleteResultRecord(log, number, chosen);
            ASSERT_TRUE(s.ok()) << s.message;
            ++deleted;
        } else {
            ResultRecord r = decodeResultRecord(chosen.data());
            r.studentNumber = static_cast<int16_t>(4200 + id);
            const LogEditStatus s = correctResultRecord(log, number, chosen, encodeResultRecord(r));
            ASSERT_TRUE(s.ok()) << s.message;
            ++corrected;
        }
        pollWriters();
        if (!running.empty()) ++duringAppends;
    }
    for (pid_t pid : running)
        EXPECT_EQ(waitFor(pid), 0) << "writer " << pid;
    writeBytes(stop, "");
    for (pid_t pid : readers)
        EXPECT_EQ(waitFor(pid), 0) << "reader " << pid;

    const std::string bytes = readBytes(t.log());
    ASSERT_EQ(bytes.size(),
              size_t{kBefore + kWriters * kPerWriter - kChanges / 2} * kResultRecordSize);
    const auto records = decodeLog(bytes);
    std::map<int, int> next;
    int nextBefore = 0;
    for (const ResultRecord& r : records) {
        if (r.seconds >= kBeforeSeconds) {
            const int id = r.seconds - kBeforeSeconds;
            while (nextBefore < kChanges && nextBefore % 2 == 0)
                ++nextBefore; // deleted
            ASSERT_EQ(id, nextBefore) << "the records before, in order, less the deleted";
            EXPECT_EQ(r.studentNumber, id < kChanges ? 4200 + id : 4000) << id;
            EXPECT_EQ(encodeResultRecord(r),
                      [&] {
                          ResultRecord e = beforeRecord(id);
                          e.studentNumber = r.studentNumber;
                          return encodeResultRecord(e);
                      }())
                << "only the student changed: " << id;
            ++nextBefore;
            continue;
        }
        const int w = r.studentNumber;
        ASSERT_TRUE(w >= 1 && w <= kWriters) << w;
        ASSERT_EQ(r.seconds, w * 100000 + next[w]++) << "writer " << w;
    }
    EXPECT_EQ(nextBefore, kBefore);
    for (int w = 1; w <= kWriters; ++w)
        EXPECT_EQ(next[w], kPerWriter) << "writer " << w;
    EXPECT_EQ(deleted, 50);
    EXPECT_EQ(corrected, 50);
    EXPECT_GT(duringAppends, kChanges / 2) << "the changes did not meet the appends";
    EXPECT_FALSE(std::filesystem::exists(deletePlanPath(t.log())));
}

TEST(ResultsSharing, ADeleteKilledAfterAnyStepIsFinishedByTheNextOpen) {
    // Killed after each step of its work, with or without an older program
    // appending before the next open: the next open leaves the whole new log
    // (the plan is on disk from the first step on) and the appended runs.
    for (int step = 1; step <= 5; ++step) {
        for (int appended : {0, 2}) {
            LogContext t;
            std::vector<ResultRecord> records;
            for (int id = 0; id < 30; ++id)
                records.push_back(beforeRecord(id));
            writeBytes(t.log(), logBytes(records));
            const pid_t pid = spawnHelper(
                "ResultsEditor", {t.ctx.folders.DataFolder, "delete", "10", std::to_string(step)});
            ASSERT_EQ(waitFor(pid), 128 + SIGKILL) << "step " << step;
            std::vector<ResultRecord> late;
            for (int i = 0; i < appended; ++i) {
                late.push_back(runRecord(t.today(), 7, 2, 500 + i));
                olderProgramAppends(t.log(), late.back());
            }
            ASSERT_TRUE(LoadResults(t.ctx));
            std::vector<ResultRecord> expected = records;
            expected.erase(expected.begin() + 9);
            expected.insert(expected.end(), late.begin(), late.end());
            EXPECT_EQ(readBytes(t.log()), logBytes(expected))
                << "step " << step << ", appended " << appended;
            EXPECT_FALSE(std::filesystem::exists(deletePlanPath(t.log())));
        }
    }
}

TEST(ResultsSharing, DeletesKilledAtRandomMomentsLeaveWholeLogs) {
    // A run of deletes of the first record, killed after a random while;
    // then the next open. The log is the old one less its first j records,
    // for some j, followed by what an older program appended meanwhile.
    std::mt19937 rng(2024);
    for (int round = 0; round < 12; ++round) {
        LogContext t;
        std::vector<ResultRecord> records;
        for (int id = 0; id < 400; ++id)
            records.push_back(beforeRecord(id));
        writeBytes(t.log(), logBytes(records));
        const pid_t pid =
            spawnHelper("ResultsEditor", {t.ctx.folders.DataFolder, "deleteFirst", "300"});
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 40000));
        ::kill(pid, SIGKILL);
        waitFor(pid);
        const ResultRecord late = runRecord(t.today(), 7, 2, 777);
        olderProgramAppends(t.log(), late);
        ASSERT_TRUE(LoadResults(t.ctx));
        const auto got = decodeLog(readBytes(t.log()));
        ASSERT_GE(got.size(), 101u) << "round " << round;
        const size_t j = records.size() + 1 - got.size();
        std::vector<ResultRecord> expected(records.begin() + static_cast<long>(j), records.end());
        expected.push_back(late);
        EXPECT_EQ(readBytes(t.log()), logBytes(expected)) << "round " << round << ", " << j;
        EXPECT_FALSE(std::filesystem::exists(deletePlanPath(t.log())));
    }
}

TEST(ResultsSharing, ACorrectionAfterAnotherPCChangedTheLogWritesNothing) {
    LogContext t;
    std::vector<ResultRecord> records;
    for (int id = 0; id < 8; ++id)
        records.push_back(beforeRecord(id));
    writeBytes(t.log(), logBytes(records));
    const LogAccess log = resultsLog(t.ctx);
    ResultBytes chosen{};
    bool exists = false;
    ASSERT_TRUE(readResultRecord(log, 5, chosen, exists).ok());

    // Another teacher deletes record 3 meanwhile.
    ASSERT_EQ(waitFor(spawnHelper("ResultsEditor", {t.ctx.folders.DataFolder, "delete", "3"})), 0);
    const std::string afterDelete = readBytes(t.log());
    ASSERT_EQ(afterDelete.size(), 7 * kResultRecordSize);
    ResultRecord corrected = decodeResultRecord(chosen.data());
    corrected.studentNumber = 12;
    EXPECT_EQ(correctResultRecord(log, 5, chosen, encodeResultRecord(corrected)).result,
              EditResult::RecordChanged);
    EXPECT_EQ(deleteResultRecord(log, 5, chosen).result, EditResult::RecordChanged);
    EXPECT_EQ(readBytes(t.log()), afterDelete);

    // Another teacher corrects the record itself meanwhile.
    ASSERT_TRUE(readResultRecord(log, 5, chosen, exists).ok());
    ASSERT_EQ(
        waitFor(spawnHelper("ResultsEditor", {t.ctx.folders.DataFolder, "correct", "5", "33"})), 0);
    const std::string afterCorrect = readBytes(t.log());
    ASSERT_NE(afterCorrect, afterDelete);
    EXPECT_EQ(correctResultRecord(log, 5, chosen, encodeResultRecord(corrected)).result,
              EditResult::RecordChanged);
    EXPECT_EQ(readBytes(t.log()), afterCorrect);
}
