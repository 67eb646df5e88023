// The graph panel's charts: the data, statistics and drawing of three levels
// for one student from the last 20000 records of a school of 2000 students.
#include <benchmark/benchmark.h>

#include <random>

#include "BenchContext.h"
#include "levelmenu/Graph.h"
#include "startup/Calendar.h"

using namespace kestrel;

namespace {

void BM_GraphChartsOfThreeLevels(benchmark::State& state) {
    bench::QuietServices quiet;
    Context ctx{quiet.services(), bench::localFiles(), bench::localMounts()};
    DefineProgram(ctx.program);
    DefineLevelTable(ctx.program);
    std::mt19937 rng(7);
    bench::fillRoster(ctx.roster, 2000, rng);
    const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
    std::vector<RunEntry> log;
    log.reserve(20000);
    for (int i = 0; i < 20000; ++i) {
        RunEntry e;
        e.date = today - static_cast<double>((20000 - i) / 100);
        e.timeOfDay = 0.5;
        e.studentNumber = static_cast<int16_t>(1 + rng() % 2000);
        e.level = static_cast<int16_t>(1 + rng() % 5);
        e.seconds = rng() % 50 == 0 ? kNoTime : static_cast<int32_t>(20 + rng() % 300);
        // One student practises often: a chart of some hundred runs.
        if (i % 40 == 0) e.studentNumber = 123;
        ResultsSummary& s = *ctx.summary;
        const auto L = static_cast<size_t>(e.level);
        const auto S = static_cast<size_t>(e.studentNumber);
        s.bestTime[L][S] = std::min(s.bestTime[L][S], e.seconds);
        s.pointsAll[L][S] += 5;
        log.push_back(e);
    }
    const GraphSources sources{ctx.program, ctx.roster, *ctx.summary, "全学年", 123, 1, today};
    for (auto _ : state) {
        std::vector<Drawing> pages =
            graphPages(sources, GraphOutput::Screen, "ＭＳ ゴシック", 123, {1, 2, 3}, log);
        benchmark::DoNotOptimize(pages);
    }
}
BENCHMARK(BM_GraphChartsOfThreeLevels)->Unit(benchmark::kMillisecond);

} // namespace
