// The criteria table: read, written back and read again it must give the
// same table, and what the program works out from each level's values (the
// points of a run, the time limit, the level menu's texts) stays sound.
#include <cmath>
#include <cstring>
#include <filesystem>

#include "FuzzTarget.h"
#include "drill/RunRules.h"
#include "levelmenu/LevelMenu.h"
#include "results/ResultsRules.h"
#include "startup/CriteriaTable.h"
#include "text/Cp932.h"

using namespace kestrel;

namespace {

bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || a == b;
}

bool sameRow(const LevelCriteria& a, const LevelCriteria& b) {
    return criteriaCells(a) == criteriaCells(b) && a.targetTime == b.targetTime &&
           a.minimumTime == b.minimumTime && a.clearPoints == b.clearPoints &&
           a.clearCount == b.clearCount && sameFloat(a.pointMultiplier, b.pointMultiplier);
}

// What the drill, the results and the level menu make of one level.
void applyLevel(const CriteriaTable& table, int level, const ResultsSummary& summary) {
    const LevelCriteria& c = table[level];
    for (int32_t seconds : {0, 1, 59, 60, 61, 999, 1000, 1234, 5999, 6000, 99998, 99999}) {
        const int32_t points = RunPoints(table, seconds, level);
        (void)points;
        (void)summaryPoints(seconds, c.targetTime, c.pointMultiplier);
    }
    for (int32_t seconds : {c.targetTime, c.minimumTime, c.targetTime / 2})
        (void)summaryPoints(seconds, c.targetTime, c.pointMultiplier);
    SharedState state;
    RunRules run(state);
    run.setLimits(c, 1000);
    FUZZ_CHECK(state.TimeLimitSeconds >= 0);
    FUZZ_CHECK(run.barWidth(state.TimeLimitSeconds) <= 1000);
    (void)targetLine(c);
    (void)passPeriodFigures(c, summary, level, 1);
    (void)LevelCleared(summary, table, level, 1);
    (void)OverPractice(summary, table, level, 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file = "/srv/学校/共有データ/Kestrel/タイム回数データ.txt";
    static const auto summary = std::make_unique<ResultsSummary>();
    const std::optional<std::string> text = fuzz::decodedText(data, size, file);
    if (!text) return 0;
    const CriteriaTable table = parseCriteriaTable(*text);
    FUZZ_CHECK(table.rowCount >= 0 && table.rowCount <= kMaxLevel);

    // The editor writes what it read; the file must read back the same.
    const std::string written = formatCriteriaTable(table);
    std::string bytes;
    try {
        bytes = utf8ToCp932(written);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(!"a table read from CP932 cannot be written as CP932");
    }
    const CriteriaTable back = parseCriteriaTable(decodeCp932File(bytes, file));
    FUZZ_CHECK(back.rowCount == table.rowCount);
    FUZZ_CHECK(back.captions == table.captions);
    for (int level = 1; level <= kMaxLevel; ++level)
        FUZZ_CHECK(sameRow(back[level], table[level]));
    FUZZ_CHECK(formatCriteriaTable(back) == written);

    for (int level = 1; level <= table.rowCount; ++level)
        applyLevel(table, level, *summary);
    return 0;
}
