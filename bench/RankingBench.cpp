// The rankings of the level menu for a large school: every level's list
// built and put in list order, as the menu's activation does it.
#include <benchmark/benchmark.h>

#include <random>

#include "BenchContext.h"
#include "levelmenu/Ranking.h"
#include "text/SortedLines.h"

using namespace kestrel;

namespace {

constexpr int kStudents = 2000;
constexpr int kLevels = 5;

struct School {
    bench::QuietServices quiet;
    Context ctx{quiet.services(), bench::localFiles(), bench::localMounts()};

    School() {
        std::mt19937 rng(7);
        bench::fillRoster(ctx.roster, kStudents, rng);
        ctx.state.CurrentStudentNumber = 77;
        ResultsSummary& sum = *ctx.summary;
        for (int level = 1; level <= kLevels; ++level)
            for (int s = 1; s <= kStudents; ++s) {
                const auto L = static_cast<size_t>(level);
                const auto S = static_cast<size_t>(s);
                if (rng() % 10 != 0) sum.bestTime[L][S] = static_cast<int32_t>(20 + rng() % 200);
                sum.pointsAll[L][S] = static_cast<int32_t>(rng() % 3000);
                sum.pointsToday[L][S] = rng() % 3 == 0 ? static_cast<int32_t>(rng() % 60) : 0;
            }
    }
};

void rankAllLevels(benchmark::State& state, RankingBasis basis) {
    School school;
    for (auto _ : state) {
        for (int level = 1; level <= kLevels; ++level) {
            std::vector<std::string> texts;
            for (RankingLine& line :
                 buildRanking(school.ctx.roster, *school.ctx.summary, level, basis, "全学年", 77))
                texts.push_back(std::move(line.text));
            SortedLines list(true);
            list.assign(std::move(texts));
            benchmark::DoNotOptimize(list.lines().data());
        }
    }
}

void BM_RankingBestTimes(benchmark::State& state) {
    rankAllLevels(state, RankingBasis::BestTime);
}
BENCHMARK(BM_RankingBestTimes)->Unit(benchmark::kMicrosecond);

void BM_RankingPointsSoFar(benchmark::State& state) {
    rankAllLevels(state, RankingBasis::PointsAll);
}
BENCHMARK(BM_RankingPointsSoFar)->Unit(benchmark::kMicrosecond);

} // namespace
