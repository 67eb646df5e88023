// The teacher's tools on the shared log: both histograms rebuilt for a
// keystroke over 100000 records, read whole and kept between keys, and one
// record deleted from a log of
// 20000 (lock, plan, records moved, log cut, each synced).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "BenchContext.h"
#include "context/Procedures.h"
#include "results/ResultsLogEdit.h"
#include "teacher/TimeHistogram.h"

using namespace kestrel;

namespace {

struct TeacherLog {
    bench::QuietServices quiet;
    Context ctx{quiet.services(), bench::localFiles(), bench::localMounts()};
    test::TempDir dir;

    explicit TeacherLog(int records) {
        ctx.folders.DataFolder = dir.path().string() + "/";
        std::mt19937 rng(7);
        const std::string bytes = bench::classroomLog(records, 400, 300, rng);
        std::ofstream(resultsLogPath(ctx.folders), std::ios::binary) << bytes;
    }
};

void BM_HistogramsForAKeystroke(benchmark::State& state) {
    TeacherLog log(100000);
    const LogAccess access = resultsLog(log.ctx);
    int level = 0;
    for (auto _ : state) {
        TimeHistograms h;
        if (!buildTimeHistograms(access, 1 + level++ % 5, h).ok()) state.SkipWithError("read");
        benchmark::DoNotOptimize(allRunsLines(h).data());
        benchmark::DoNotOptimize(bestTimesLines(h).data());
    }
}
BENCHMARK(BM_HistogramsForAKeystroke)->Unit(benchmark::kMillisecond);

// A key in the criteria editor as the editor makes it: the histograms kept
// over the 100000 records, the log looked at and found unchanged (at most
// 4096 bytes read).
void BM_EditorKeystrokeOnAnUnchangedLog(benchmark::State& state) {
    TeacherLog log(100000);
    bench::CountingCalls calls;
    log.ctx.sharedFiles = std::make_unique<PosixSharedFileSystem>(calls);
    const LogAccess access = resultsLog(log.ctx);
    TimeHistograms h;
    HistogramCache cache;
    if (!cachedTimeHistograms(access, log.ctx.resultsWindow, cache, 1, h).ok())
        state.SkipWithError("read");
    int level = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        const uint64_t before = calls.bytesRead;
        if (!cachedTimeHistograms(access, log.ctx.resultsWindow, cache, 1 + level++ % 5, h).ok())
            state.SkipWithError("read");
        bytes = std::max(bytes, calls.bytesRead - before);
        benchmark::DoNotOptimize(allRunsLines(h).data());
        benchmark::DoNotOptimize(bestTimesLines(h).data());
    }
    state.counters["bytes_read_max"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EditorKeystrokeOnAnUnchangedLog)->Unit(benchmark::kMillisecond);

// Deleting record `at` (1 the worst: every record moves) of a 20000-record log.
void BM_DeleteOneRecordOf20000(benchmark::State& state) {
    TeacherLog log(20000 + 1000);
    const LogAccess access = resultsLog(log.ctx);
    const auto at = static_cast<uint64_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        ResultBytes chosen{};
        bool exists = false;
        if (!readResultRecord(access, at, chosen, exists).ok() || !exists)
            state.SkipWithError("read");
        state.ResumeTiming();
        if (!deleteResultRecord(access, at, chosen).ok()) state.SkipWithError("delete");
    }
}
BENCHMARK(BM_DeleteOneRecordOf20000)
    ->Arg(1)
    ->Arg(10000)
    ->Arg(20000)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

} // namespace
