#include "results/ResultsSummary.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "results/ResultsRules.h"
#include "startup/Calendar.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

// How many records ahead the loader asks for the table cells of a record.
constexpr size_t kPrefetchAhead = 32;
constexpr int32_t kScoredTimes = 1024; // run times the summary scores once each

// The cells every record in the tables updates: its best time and its
// all-time count and points.
inline void prefetchCells(const ResultsSummary& sum, const unsigned char* record) {
    const RecordedRun run = decodeRecordedRun(record);
    if (!inSummaryTables(run.level, run.studentNumber)) return;
    const auto L = static_cast<size_t>(run.level);
    const auto S = static_cast<size_t>(run.studentNumber);
    __builtin_prefetch(&sum.bestTime[L][S], 1);
    __builtin_prefetch(&sum.countAll[L][S], 1);
    __builtin_prefetch(&sum.pointsAll[L][S], 1);
}

// One level's criteria as the summary applies them: runs dated after
// passFrom count for the pass, after limitFrom for over-practice.
struct LevelRule {
    int32_t targetTime = 0;
    float multiplier = 0;
    double passFrom = 0;
    double limitFrom = 0;
};

// Adds nothing: a plain load of the records and best times.
struct NoFigures {
    void begin() {}
    void add(const RunEntry&) {}
};

// Clears the counts and points and adds each kept record as it is loaded.
class FigureAdder {
public:
    FigureAdder(ResultsSummary& sum, const CriteriaTable& criteria, Clock& clock)
        : m_sum(sum), m_criteria(criteria), m_clock(clock),
          m_scored(new int32_t[static_cast<size_t>(kMaxLevel + 1) * kScoredTimes]) {}

    // Starts over: a load may be tried again after a wait.
    void begin() {
        m_sum.clearCounts();
        m_levelScored.fill(false);
        // A period of N days covers today and the N - 1 days before it.
        const LocalTime t = m_clock.now();
        m_today = static_cast<double>(dayNumber(t.date));
        const double now = m_today + dayFraction(t.secondsOfDay);
        for (int level = 1; level <= kMaxLevel; ++level) {
            const LevelCriteria& c = m_criteria[level];
            m_rules[static_cast<size_t>(level)] = {c.targetTime, c.pointMultiplier,
                                                   now - leadingNumber(c.passPeriodDays),
                                                   now - leadingNumber(c.overPracticePeriodDays)};
        }
    }

    // The log is in the order the runs were made, so the period tests
    // switch once from false to true along it and most old runs touch only
    // the all-time figures.
    void add(const RunEntry& e) { // e's level and student are within the tables
        const auto L = static_cast<size_t>(e.level);
        const auto S = static_cast<size_t>(e.studentNumber);
        const LevelRule& rule = m_rules[L];
        const int32_t pts = points(rule, L, e.seconds);
        const int counted = e.seconds < kCountedSecondsBelow;
        ResultsSummary& sum = m_sum;
        sum.countAll[L][S] = static_cast<int16_t>(sum.countAll[L][S] + counted);
        sum.pointsAll[L][S] += pts;
        // A record dated after today (a PC with a wrong clock) counts in no
        // period until its day comes: it could close a level meanwhile.
        const bool dated = e.date <= m_today;
        if (dated && e.date > rule.passFrom) {
            sum.countPass[L][S] = static_cast<int16_t>(sum.countPass[L][S] + counted);
            sum.pointsPass[L][S] += pts;
        }
        if (dated && e.date > rule.limitFrom) {
            sum.countLimit[L][S] = static_cast<int16_t>(sum.countLimit[L][S] + counted);
            sum.pointsLimit[L][S] += pts;
        }
        if (e.date == m_today) {
            sum.countToday[L][S] += static_cast<float>(counted);
            sum.pointsToday[L][S] += pts;
        }
    }

private:
    // The points of every time below kScoredTimes, worked out for a level
    // when its first record comes: one table load per record.
    int32_t points(const LevelRule& rule, size_t level, int32_t seconds) {
        if (seconds < 0 || seconds >= kScoredTimes)
            return summaryPoints(seconds, rule.targetTime, rule.multiplier);
        int32_t* row = m_scored.get() + level * kScoredTimes;
        if (!m_levelScored[level]) {
            scoreLevel(rule, row);
            m_levelScored[level] = true;
        }
        return row[seconds];
    }

    // Only the times up to the target need the formula; slower times fall
    // into bands that share one value.
    static void scoreLevel(const LevelRule& rule, int32_t* row) {
        int32_t bandBase = -1;
        int32_t bandPoints = 0;
        for (int32_t s = 0; s < kScoredTimes; ++s) {
            const int32_t base = basePoints(s, rule.targetTime, true);
            if (s <= rule.targetTime || base != bandBase) {
                bandBase = base;
                bandPoints = summaryPoints(s, rule.targetTime, rule.multiplier);
            }
            row[s] = bandPoints;
        }
    }

    ResultsSummary& m_sum;
    const CriteriaTable& m_criteria;
    Clock& m_clock;
    std::unique_ptr<int32_t[]> m_scored; // points by level and time
    std::array<bool, kMaxLevel + 1> m_levelScored{};
    std::array<LevelRule, kMaxLevel + 1> m_rules{};
    double m_today = 0;
};

// Keeps the records of a load as RunEntries and lowers the best times; the
// figures see every kept record that lies within the tables.
template <typename Figures> class SummaryLoader : public LogReader {
public:
    SummaryLoader(ResultsSummary& sum, RunEntries& entries, Figures& figures,
                  const SummaryScope* scope = nullptr)
        : m_sum(sum), m_entries(entries), m_figures(figures), m_scope(scope) {}

    void begin() override {
        m_entries.entrySlots.clear();
        m_entries.entrySlots.reserve(kMaxLoadedRecords);
        m_figures.begin();
        m_sum.clearBestTimes(); // last, so that the best times are still in the cache
    }

    // Everything it calls is inlined: a call per record (the slot's
    // push_back among them) is a tenth of a rebuild.
    [[gnu::flatten]] void block(const unsigned char* bytes, size_t count) override {
        ResultsSummary& sum = m_sum;
        std::vector<RunEntry>& slots = m_entries.entrySlots;
        for (size_t k = 0; k < count; ++k) {
            // The tables are far larger than the cache and the students come
            // in no order: ask for the cells of a record a few ahead.
            if (k + kPrefetchAhead < count)
                prefetchCells(sum, &bytes[(k + kPrefetchAhead) * kResultRecordSize]);
            const ResultRecord r = decodeResultRecord(&bytes[k * kResultRecordSize]);
            // A local copy: the table stores below cannot alias it.
            const RunEntry e{r.date, r.timeOfDay, r.studentNumber, r.level, r.seconds};
            if (m_scope && m_scope->datedAfterOnly && !(e.date > m_scope->after)) continue;
            const bool inTable = inSummaryTables(e.level, e.studentNumber);
            if (inTable) {
                const auto L = static_cast<size_t>(e.level);
                int32_t& best = sum.bestTime[L][static_cast<size_t>(e.studentNumber)];
                best = std::min(best, e.seconds);
                // The lowest best time of students 1..1000 is their lowest time.
                const bool counts = e.studentNumber <= kOverallBestStudents;
                sum.overallBest[L] = std::min(sum.overallBest[L], counts ? e.seconds : kNoTime);
            }
            // A record without date, student or level takes no slot.
            if (e.date >= 0 && e.studentNumber != 0 && e.level >= 1) {
                if (inTable) m_figures.add(e);
                slots.push_back(e);
            }
        }
    }

private:
    ResultsSummary& m_sum;
    RunEntries& m_entries;
    Figures& m_figures;
    const SummaryScope* m_scope;
};

} // namespace

ResultsSummary::ResultsSummary() {
    clearCounts();
    clearBestTimes();
}

void ResultsSummary::clearCounts() {
    // The count and points tables follow one another to the end of the
    // object. Cleared in pieces: a single memset of them all bypasses the
    // cache, and the loader's stores that follow would all miss it.
    auto* from = reinterpret_cast<unsigned char*>(&countAll);
    auto* to = reinterpret_cast<unsigned char*>(&pointsToday) + sizeof pointsToday;
    constexpr size_t kChunk = 256 * 1024;
    for (unsigned char* at = from; at < to; at += kChunk)
        std::memset(at, 0, std::min<size_t>(kChunk, static_cast<size_t>(to - at)));
}

void ResultsSummary::clearBestTimes() {
    // One run over the whole table: row by row is several times slower.
    std::fill_n(bestTime.front().data(), bestTime.size() * bestTime.front().size(), kNoTime);
    overallBest.fill(kNoTime);
}

LogStatus LoadResults(ResultsSummary& summary, RunEntries& entries, const LogAccess& log) {
    NoFigures none;
    SummaryLoader<NoFigures> loader(summary, entries, none);
    return readResultsLog(log, loader);
}

LogStatus BuildSummary(ResultsSummary& summary, RunEntries& entries, const CriteriaTable& criteria,
                       const LogAccess& log) {
    FigureAdder figures(summary, criteria, log.clock);
    SummaryLoader<FigureAdder> loader(summary, entries, figures);
    return readResultsLog(log, loader);
}

LogStatus BuildSummary(ResultsSummary& summary, RunEntries& entries, const CriteriaTable& criteria,
                       const LogAccess& log, const SummaryScope& scope) {
    FigureAdder figures(summary, criteria, log.clock);
    SummaryLoader<FigureAdder> loader(summary, entries, figures, &scope);
    return readResultsLog(log, loader, scope.read);
}

LogStatus LoadResults(ResultsSummary& summary, RunEntries& entries, const LogAccess& log,
                      LogWindow& window) {
    const LogStatus status = loadLogWindow(log, window);
    if (!status.ok()) return status;
    NoFigures none;
    SummaryLoader<NoFigures> loader(summary, entries, none);
    replayLogWindow(window, loader);
    return status;
}

LogStatus BuildSummary(ResultsSummary& summary, RunEntries& entries, const CriteriaTable& criteria,
                       const LogAccess& log, LogWindow& window) {
    const LogStatus status = loadLogWindow(log, window);
    if (!status.ok()) return status;
    FigureAdder figures(summary, criteria, log.clock);
    SummaryLoader<FigureAdder> loader(summary, entries, figures);
    replayLogWindow(window, loader);
    return status;
}

int todayRunCount(const ResultsSummary& summary, int student, int lastLevel) {
    if (student < 0 || student > kMaxStudent) return 0;
    double runs = 0;
    for (int level = 1; level <= std::min(lastLevel, kMaxLevel); ++level)
        runs += summary.countToday[static_cast<size_t>(level)][static_cast<size_t>(student)];
    return static_cast<int>(std::lround(runs));
}

int todayRunCountAt(const ResultsSummary& summary, int level, int student) {
    if (level < 0 || level > kMaxLevel || student < 0 || student > kMaxStudent) return 0;
    return static_cast<int>(
        std::lround(summary.countToday[static_cast<size_t>(level)][static_cast<size_t>(student)]));
}

} // namespace kestrel
