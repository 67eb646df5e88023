// Several programs appending to and reading one log at once, as the PCs of
// a classroom do, with real processes and real file locks.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "context/Procedures.h"
#include "platform/SharedFile.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"

extern char** environ;

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::string helperPath(const std::string& name) {
    return (std::filesystem::path(KESTREL_HELPER_DIR) / name).string();
}

pid_t spawnHelper(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> all{helperPath(name)};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    EXPECT_EQ(rc, 0) << "cannot start " << all[0];
    return rc == 0 ? pid : -1;
}

// The exit status, or 128 + the signal that ended the process.
int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

bool waitForFile(const std::filesystem::path& file) {
    for (int i = 0; i < 1000; ++i) {
        if (std::filesystem::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
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

} // namespace

TEST(ResultsSharing, ConcurrentWritersLoseNothingAndReadersSeeOnlyWholeRecords) {
    LogContext t;
    constexpr int kWriters = 8;
    constexpr int kPerWriter = 1000;
    constexpr int kReaders = 3;
    const auto stop = t.dir / "stop";

    std::vector<pid_t> readers, writers;
    for (int r = 0; r < kReaders; ++r)
        readers.push_back(spawnHelper(
            "ResultsReader", {t.ctx.folders.DataFolder, stop.string(), std::to_string(kWriters)}));
    for (int w = 1; w <= kWriters; ++w)
        writers.push_back(spawnHelper("ResultsWriter", {t.ctx.folders.DataFolder, std::to_string(w),
                                                        std::to_string(kPerWriter)}));
    for (pid_t pid : writers)
        EXPECT_EQ(waitFor(pid), 0) << "writer " << pid;
    writeBytes(stop, "");
    for (pid_t pid : readers)
        EXPECT_EQ(waitFor(pid), 0) << "reader " << pid;

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
            if (++waits == 250) holder->close(); // after two and a half seconds
        };
        const uint32_t before = t.clock.tickMs();
        ASSERT_TRUE(step == 0 ? LoadResults(t.ctx) : t.append().ok());
        t.events.onProcess = nullptr;
        EXPECT_GE(t.clock.tickMs() - before, 3000u) << "step " << step;
    }
    EXPECT_EQ(readBytes(t.log()).size(), 2 * kResultRecordSize);
}
