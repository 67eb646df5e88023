// The results log's costs: rebuilding the summary on a whole read and after
// a few appends of other PCs (with the bytes it read), loading the most
// recent records, one append; and the floor a rebuild cannot beat, clearing
// the same table memory and reading the same bytes of the file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

#include "BenchContext.h"
#include "context/Procedures.h"
#include "startup/Calendar.h"

using namespace kestrel;

namespace {

// A classroom's context on a log of `records` runs in a folder of its own.
struct BenchLog {
    bench::QuietServices quiet;
    Context ctx{quiet.services(), bench::localFiles(), bench::localMounts()};
    test::TempDir dir;

    explicit BenchLog(int records) {
        ctx.folders.DataFolder = dir.path().string() + "/";
        for (int level = 1; level <= 5; ++level) {
            LevelCriteria& c = ctx.criteria[level];
            c.targetTime = 40 + 10 * level;
            c.minimumTime = 2 * c.targetTime;
            c.pointMultiplier = 1.0f + 0.25f * static_cast<float>(level);
            c.passPeriodDays = "14";
            c.overPracticePeriodDays = "3";
        }
        std::mt19937 rng(42);
        const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
        std::string bytes;
        // Appended in the order the runs were made: 60 days of a school.
        for (int i = 0; i < records; ++i) {
            ResultRecord r;
            r.date = today - 59 + static_cast<double>(i * 60 / records);
            r.timeOfDay = static_cast<double>(i % 1000) / 1000.0;
            r.studentNumber = static_cast<int16_t>(1 + rng() % 200);
            r.level = static_cast<int16_t>(1 + rng() % 5);
            r.seconds = rng() % 50 == 0 ? kNoTime : static_cast<int32_t>(20 + rng() % 300);
            const ResultBytes b = encodeResultRecord(r);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        std::ofstream(resultsLogPath(ctx.folders), std::ios::binary) << bytes;
    }
};

// A rebuild that reads the window whole, as the first load of a program
// and every load after a correction or delete do.
void BM_BuildSummary(benchmark::State& state) {
    BenchLog log(20000);
    for (auto _ : state) {
        log.ctx.resultsWindow.forget();
        if (!BuildSummary(log.ctx)) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(log.ctx.summary->pointsAll[1][1]);
    }
}
BENCHMARK(BM_BuildSummary)->Unit(benchmark::kMicrosecond);

// A menu activation's rebuild on a log of 100000 records after `k` runs of
// other PCs were appended: only those are read (at most 44 k + 4096 bytes).
void BM_BuildSummaryAfterAppends(benchmark::State& state) {
    BenchLog log(100000);
    bench::CountingCalls calls;
    log.ctx.sharedFiles = std::make_unique<PosixSharedFileSystem>(calls);
    BenchLog other(0);
    other.ctx.folders.DataFolder = log.ctx.folders.DataFolder;
    other.ctx.state.CurrentStudentNumber = 7;
    other.ctx.state.RunTime = 77;
    const LogAccess otherLog = resultsLog(other.ctx);
    const auto k = static_cast<int>(state.range(0));
    if (!BuildSummary(log.ctx)) state.SkipWithError("first load failed");
    uint64_t bytes = 0, loads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < k; ++i)
            if (!AppendResult(otherLog, currentRunRecord(other.ctx, 1 + i % 5)).ok())
                state.SkipWithError("append failed");
        const uint64_t before = calls.bytesRead;
        state.ResumeTiming();
        if (!BuildSummary(log.ctx)) state.SkipWithError("build failed");
        bytes = std::max(bytes, calls.bytesRead - before);
        loads += log.ctx.resultsWindow.lastWhole ? 0 : 1;
    }
    state.counters["bytes_read_max"] = static_cast<double>(bytes);
    state.counters["bound"] = static_cast<double>(44 * k + 4096);
    state.counters["kept_loads"] = static_cast<double>(loads);
}
BENCHMARK(BM_BuildSummaryAfterAppends)
    ->Arg(0)
    ->Arg(3)
    ->Arg(40)
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

// What any rebuild must do at least: clear as much memory as the summary
// holds and read the 20000 records from the file.
void BM_BuildSummaryFloor(benchmark::State& state) {
    BenchLog log(20000);
    auto tables = std::make_unique<ResultsSummary>();
    std::vector<unsigned char> buffer(20000 * kResultRecordSize);
    const std::string path = resultsLogPath(log.ctx.folders).string();
    for (auto _ : state) {
        std::memset(static_cast<void*>(tables.get()), 0, sizeof(ResultsSummary));
        benchmark::ClobberMemory();
        const int fd = ::open(path.c_str(), O_RDONLY);
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), 0);
        ::close(fd);
        if (got != static_cast<ssize_t>(buffer.size())) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_BuildSummaryFloor)->Unit(benchmark::kMicrosecond);

void BM_LoadResults25000(benchmark::State& state) {
    BenchLog log(25000);
    for (auto _ : state) {
        log.ctx.resultsWindow.forget();
        if (!LoadResults(log.ctx)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(log.ctx.runEntries.entrySlots.data());
    }
}
BENCHMARK(BM_LoadResults25000)->Unit(benchmark::kMicrosecond);

void BM_LoadResultsFloor(benchmark::State& state) {
    BenchLog log(25000);
    std::vector<unsigned char> buffer(20000 * kResultRecordSize);
    const std::string path = resultsLogPath(log.ctx.folders).string();
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), 5000 * kResultRecordSize);
        ::close(fd);
        if (got != static_cast<ssize_t>(buffer.size())) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_LoadResultsFloor)->Unit(benchmark::kMicrosecond);

// One append, lock and sync included, on a log that grows as it runs.
void BM_AppendResult(benchmark::State& state) {
    BenchLog log(1000);
    log.ctx.state.CurrentStudentNumber = 12;
    log.ctx.state.CurrentLevel = 3;
    log.ctx.state.RunTime = 77;
    const LogAccess access = resultsLog(log.ctx);
    const ResultRecord record = currentRunRecord(log.ctx, 3);
    for (auto _ : state) {
        if (!AppendResult(access, record).ok()) state.SkipWithError("append failed");
    }
}
BENCHMARK(BM_AppendResult)->Unit(benchmark::kMicrosecond);

} // namespace
