#include "results/ResultsLog.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>

#include "platform/EventPump.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr double kSharingWaitSeconds = 1.0;
constexpr double kMissingWaitSeconds = 5.0;
constexpr int kMissingRetries = 4; // the fourth miss in a row gives up
constexpr int32_t kNoPointsFrom = 99998;
constexpr size_t kReadBlockRecords = 1024; // 44 KB
// Keeps the summary's sums of 20000 runs inside 32 bits whatever
// multiplier a teacher types.
constexpr int32_t kMaxRunPoints = 100000;

// A failed step and what it was doing, for the message.
struct StepFailure {
    FileStatus status;
    const char* action = ""; // completes "「file」…"
};

std::string describe(const std::filesystem::path& path, const StepFailure& f) {
    return "「" + displayPath(path) + "」" + f.action + "（" + f.status.description + "）";
}

void giveUp(Context& ctx, const std::string& text) {
    ctx.services.dialogs.message(text, ctx.program.ProgramTitle, MessageButtons::Ok);
    ctx.services.exit.endProgram(1);
}

void waitSeconds(Context& ctx, double seconds) {
    waitResponsive(ctx.services.clock, ctx.services.events, seconds);
}

// Numbers in messages: up to 15 significant digits, no trailing zeros.
std::string numberText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

bool inTables(int level, int student) {
    return level >= 1 && level <= kMaxLevel && student >= 1 && student <= kMaxStudent;
}

// The number formed by the first three characters of `seconds` in decimal.
int64_t firstThreeCharacters(int32_t seconds) {
    if (seconds >= 0) {
        int64_t v = seconds;
        while (v >= 1000)
            v /= 10;
        return v;
    }
    int64_t v = -static_cast<int64_t>(seconds); // "-" takes one of the three
    while (v >= 100)
        v /= 10;
    return -v;
}

ResultRecord currentRunRecord(Context& ctx) {
    const LocalTime now = ctx.services.clock.now();
    ResultRecord r;
    r.date = static_cast<double>(dayNumber(now.date));
    r.timeOfDay = dayFraction(now.secondsOfDay);
    r.studentNumber = ctx.state.CurrentStudentNumber;
    r.level = ctx.state.CurrentLevel;
    r.seconds = ctx.state.RunTime;
    r.schoolCode = resultText(ctx.config.SchoolCode);
    return r;
}

// One append under the lock. Sets `written` once the record's bytes went
// out, after which the attempt must never be repeated.
StepFailure appendOnce(Context& ctx, SharedFile& file, bool& written) {
    FileStatus s = file.lockExclusive();
    if (!s.ok()) return {s, "をロックできません"};
    uint64_t length = 0;
    s = file.size(length);
    if (!s.ok()) return {s, "の長さを読めません"};
    // A record cut short by a writer that died is overwritten.
    const uint64_t offset = length / kResultRecordSize * kResultRecordSize;
    const ResultBytes bytes = encodeResultRecord(currentRunRecord(ctx));
    written = true;
    s = file.writeAt(offset, bytes.data(), bytes.size());
    if (!s.ok()) return {s, "に書き込めません"};
    s = file.sync();
    if (!s.ok()) return {s, "をディスクに書き込めません"};
    s = file.unlock();
    if (!s.ok()) return {s, "のロックを外せません"};
    s = file.close();
    if (!s.ok()) return {s, "を閉じられません"};
    return {};
}

// Where a load stands, for the message when it gives up.
struct LoadProgress {
    int marker = 3;
    int64_t recordNumber = 0;
    RunEntry record;
};

// Loads the log once; `kept` sees every record that takes a slot and lies
// within the tables, as it is read, so that the summary is built in the
// same pass.
// How many records ahead the loader asks for the table cells of a record.
constexpr size_t kPrefetchAhead = 32;

// The cells every record in the tables updates: its best time and its
// all-time count and points.
inline void prefetchCells(const ResultsSummary& sum, const unsigned char* record) {
    const auto student = static_cast<int16_t>(record[16] | (record[17] << 8));
    const auto level = static_cast<int16_t>(record[18] | (record[19] << 8));
    if (!inTables(level, student)) return;
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(student);
    __builtin_prefetch(&sum.bestTime[L][S], 1);
    __builtin_prefetch(&sum.countAll[L][S], 1);
    __builtin_prefetch(&sum.pointsAll[L][S], 1);
}

template <typename Visitor> StepFailure loadOnce(Context& ctx, LoadProgress& p, Visitor& kept) {
    ResultsSummary& sum = *ctx.summary;
    RunEntries& entries = ctx.runEntries;
    p = LoadProgress{};

    FileStatus s;
    std::unique_ptr<SharedFile> file = OpenResultsLog(ctx, SharedAccess::Read, s);
    if (!file) return {s, "を開けません"};
    s = file->probeUnlocked();
    if (!s.ok()) return {s, "を読めません"};
    kept.begin();
    sum.clearBestTimes(); // last, so that the best times are still in the cache

    p.marker = 4;
    uint64_t length = 0;
    s = file->size(length);
    if (!s.ok()) return {s, "の長さを読めません"};
    const uint64_t records = length / kResultRecordSize;
    const uint64_t first = records > kMaxLoadedRecords ? records - kMaxLoadedRecords : 0;

    // Read in blocks that stay in the cache while they are decoded.
    p.marker = 5;
    const size_t wanted = static_cast<size_t>(records - first);
    std::unique_ptr<unsigned char[]> block(
        new unsigned char[kReadBlockRecords * kResultRecordSize]);
    entries.entrySlots.resize(wanted);
    size_t slot = 0;
    for (size_t done = 0; done < wanted;) {
        p.recordNumber = static_cast<int64_t>(first + done) + 1;
        const size_t count = std::min(kReadBlockRecords, wanted - done);
        size_t got = 0;
        s = file->readAt((first + done) * kResultRecordSize, block.get(), count * kResultRecordSize,
                         got);
        if (!s.ok()) return {s, "を読めません"};
        const size_t whole = got / kResultRecordSize;
        for (size_t k = 0; k < whole; ++k) {
            // The tables are far larger than the cache and the students come
            // in no order: ask for the cells of a record a few ahead.
            if (k + kPrefetchAhead < whole)
                prefetchCells(sum, &block[(k + kPrefetchAhead) * kResultRecordSize]);
            const ResultRecord r = decodeResultRecord(&block[k * kResultRecordSize]);
            // A local copy: the table stores below cannot alias it.
            const RunEntry e{r.date, r.timeOfDay, r.studentNumber, r.level, r.seconds};
            entries.entrySlots[slot] = e;
            const bool inTable = inTables(e.level, e.studentNumber);
            if (inTable) {
                const auto L = static_cast<size_t>(e.level);
                int32_t& best = sum.bestTime[L][static_cast<size_t>(e.studentNumber)];
                best = std::min(best, e.seconds);
                // The lowest best time of students 1..1000 is their lowest time.
                const bool counts = e.studentNumber <= kOverallBestStudents;
                sum.overallBest[L] = std::min(sum.overallBest[L], counts ? e.seconds : kNoTime);
            }
            // A record without date, student or level leaves its slot to the next.
            if (e.date >= 0 && e.studentNumber != 0 && e.level >= 1) {
                if (inTable) kept.add(e);
                ++slot;
            }
        }
        done += whole;
        if (whole < count) break; // the file has shrunk meanwhile
    }
    entries.entrySlots.resize(slot);
    if (!entries.entrySlots.empty()) p.record = entries.entrySlots.back();

    p.marker = 11;
    s = file->close();
    if (!s.ok()) return {s, "を閉じられません"};
    return {};
}

std::string loadFailureText(const std::filesystem::path& path, const StepFailure& f,
                            const LoadProgress& p) {
    const std::string marker = std::to_string(p.marker);
    const std::string number = std::to_string(f.status.number);
    if (f.status.fault == FileFault::NotFound)
        return "ファイルがありません" + marker + describe(path, f) + number;
    return "成績ランダムファイル表示" + marker + number + describe(path, f) + number + "/date" +
           numberText(p.record.date) + "/i=" + std::to_string(p.recordNumber) +
           "/time=" + numberText(p.record.timeOfDay) +
           "/name=" + "/Bangou=" + std::to_string(p.record.studentNumber) +
           "/level=" + std::to_string(p.record.level) +
           "/time=" + std::to_string(p.record.seconds) + "line" + marker;
}

// Int(x) for x of either sign, saturated to 32 bits.
int32_t truncateDown(double x) {
    x = std::min(std::max(x, static_cast<double>(INT32_MIN)), static_cast<double>(INT32_MAX));
    auto i = static_cast<int32_t>(x);
    if (static_cast<double>(i) > x) --i;
    return i;
}

int32_t pointsBeforeMultiplier(int32_t seconds, int64_t t, bool firstThreeDigits) {
    if (seconds >= kNoPointsFrom) return 0;
    if (seconds <= t) {
        if (t <= 0) return 0; // no target time: no ratio to score by
        const double v = firstThreeDigits ? static_cast<double>(firstThreeCharacters(seconds))
                                          : static_cast<double>(seconds);
        const double r = (static_cast<double>(t) - v) / static_cast<double>(t);
        return truncateDown(r * r * r * 50 + 5);
    }
    if (seconds < 2 * t) return 4;
    if (seconds < 10 * t) return 1;
    return 0;
}

// In single precision, as the multiplier is held: 10 x 0.7 gives 7, not 6.
int32_t multiplied(int32_t points, float multiplier) {
    const float product = static_cast<float>(points) * multiplier;
    if (!std::isfinite(product)) return 0;
    return truncateDown(static_cast<double>(product));
}

// One level's criteria as the summary applies them: runs dated after
// passFrom count for the pass, after limitFrom for over-practice.
struct LevelRule {
    int32_t targetTime = 0;
    float multiplier = 0;
    double passFrom = 0;
    double limitFrom = 0;

    int32_t points(int32_t seconds) const {
        return scaled(pointsBeforeMultiplier(seconds, targetTime, true));
    }
    int32_t scaled(int32_t base) const {
        return std::clamp(multiplied(base, multiplier), -kMaxRunPoints, kMaxRunPoints);
    }
};

constexpr int32_t kScoredTimes = 1024; // run times the summary scores once each

struct NoSummary {
    void begin() {}
    void add(const RunEntry) {}
};

// Clears the counts and points and adds each kept record as it is loaded.
class SummaryBuilder {
public:
    explicit SummaryBuilder(Context& ctx)
        : m_ctx(ctx), m_sum(*ctx.summary),
          m_scored(new int32_t[static_cast<size_t>(kMaxLevel + 1) * kScoredTimes]) {}

    // Starts over: a load may be tried again after a wait.
    void begin() {
        m_sum.clearCounts();
        m_levelScored.fill(false);
        // A period of N days covers today and the N - 1 days before it.
        const LocalTime t = m_ctx.services.clock.now();
        m_today = static_cast<double>(dayNumber(t.date));
        const double now = m_today + dayFraction(t.secondsOfDay);
        for (int level = 1; level <= kMaxLevel; ++level) {
            const LevelCriteria& c = m_ctx.criteria[level];
            m_rules[static_cast<size_t>(level)] = {c.targetTime, c.pointMultiplier,
                                                   now - leadingNumber(c.passPeriodDays),
                                                   now - leadingNumber(c.overPracticePeriodDays)};
        }
    }

    // The log is in the order the runs were made, so the period tests
    // switch once from false to true along it and most old runs touch only
    // the all-time figures.
    void add(const RunEntry e) { // e's level and student are within the tables
        const auto L = static_cast<size_t>(e.level);
        const auto S = static_cast<size_t>(e.studentNumber);
        const LevelRule& rule = m_rules[L];
        const int32_t pts = points(rule, L, e.seconds);
        const int counted = e.seconds < kCountedSecondsBelow;
        ResultsSummary& sum = m_sum;
        sum.countAll[L][S] = static_cast<int16_t>(sum.countAll[L][S] + counted);
        sum.pointsAll[L][S] += pts;
        if (e.date > rule.passFrom) {
            sum.countPass[L][S] = static_cast<int16_t>(sum.countPass[L][S] + counted);
            sum.pointsPass[L][S] += pts;
        }
        if (e.date > rule.limitFrom) {
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
        if (seconds < 0 || seconds >= kScoredTimes) return rule.points(seconds);
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
            const int32_t base = pointsBeforeMultiplier(s, rule.targetTime, true);
            if (s <= rule.targetTime || base != bandBase) {
                bandBase = base;
                bandPoints = rule.scaled(base);
            }
            row[s] = bandPoints;
        }
    }

    Context& m_ctx;
    ResultsSummary& m_sum;
    std::unique_ptr<int32_t[]> m_scored; // points by level and time

    std::array<bool, kMaxLevel + 1> m_levelScored{};
    std::array<LevelRule, kMaxLevel + 1> m_rules{};
    double m_today = 0;
};

template <typename Visitor> bool loadWithRetries(Context& ctx, Visitor& kept) {
    if (!ctx.summary) ctx.summary = std::make_unique<ResultsSummary>();
    const std::filesystem::path path = resultsLogPath(ctx.folders);
    int missing = 0;
    for (;;) {
        LoadProgress progress;
        const StepFailure failure = loadOnce(ctx, progress, kept);
        switch (failure.status.fault) {
        case FileFault::None:
            return true;
        case FileFault::Sharing:
            waitSeconds(ctx, kSharingWaitSeconds);
            continue;
        case FileFault::NotFound:
            waitSeconds(ctx, kMissingWaitSeconds);
            if (++missing < kMissingRetries) continue;
            break;
        case FileFault::Other:
            break;
        }
        giveUp(ctx, loadFailureText(path, failure, progress));
        return false;
    }
}

} // namespace

std::unique_ptr<SharedFile> OpenResultsLog(Context& ctx, SharedAccess access, FileStatus& status) {
    if (!ctx.sharedFiles) ctx.sharedFiles = std::make_unique<PosixSharedFileSystem>();
    return ctx.sharedFiles->open(resultsLogPath(ctx.folders), access, status);
}

bool AppendResult(Context& ctx) {
    const std::filesystem::path path = resultsLogPath(ctx.folders);
    for (;;) {
        StepFailure failure;
        bool written = false;
        std::unique_ptr<SharedFile> file = OpenResultsLog(ctx, SharedAccess::Write, failure.status);
        if (!file) {
            failure.action = "を開けません";
        } else {
            failure = appendOnce(ctx, *file, written);
            file.reset(); // closes, and so unlocks, before any wait or message
        }
        if (failure.status.ok()) return true;
        if (failure.status.fault == FileFault::Sharing && !written) {
            waitSeconds(ctx, kSharingWaitSeconds);
            continue;
        }
        giveUp(ctx, "成績ランダムファイル記録" + describe(path, failure));
        return false;
    }
}

bool RecordRun(Context& ctx, int level) {
    const int s = ctx.state.CurrentStudentNumber;
    if (level < 0 || level > kMaxLevel || s < 0 || s > kMaxStudent) {
        giveUp(ctx, "Seisekikiroku生徒番号 " + std::to_string(s) + " またはレベル " +
                        std::to_string(level) + " が範囲外です。" + std::to_string(ERANGE));
        return false;
    }
    if (!ctx.summary) ctx.summary = std::make_unique<ResultsSummary>();
    ResultsSummary& sum = *ctx.summary;
    RecordFlags& flags = ctx.recordFlags;
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(s);
    const LevelCriteria& c = ctx.criteria[level];
    const int32_t runTime = ctx.state.RunTime;

    flags.clearedBefore =
        (sum.countAll[L][S] >= c.clearCount && sum.pointsAll[L][S] >= c.clearPoints) ? 1 : 0;
    if (runTime < sum.bestTime[L][S]) {
        flags.newPersonalBest = 1;
        sum.bestTime[L][S] = runTime;
    }
    if (!AppendResult(ctx)) return false;
    // Only the students who make up the overall best can set a new one.
    if (s >= 1 && s <= kOverallBestStudents && runTime < sum.overallBest[L]) {
        sum.overallBest[L] = runTime;
        flags.newOverallBest = 1;
    }
    return true;
}

bool LoadResults(Context& ctx) {
    NoSummary none;
    return loadWithRetries(ctx, none);
}

bool BuildSummary(Context& ctx) {
    if (!ctx.summary) ctx.summary = std::make_unique<ResultsSummary>();
    SummaryBuilder builder(ctx);
    return loadWithRetries(ctx, builder);
}

int32_t basePoints(int32_t seconds, int32_t targetTime, bool firstThreeDigits) {
    return pointsBeforeMultiplier(seconds, targetTime, firstThreeDigits);
}

int32_t scalePoints(int32_t points, float multiplier) {
    return multiplied(points, multiplier);
}

int32_t RunPoints(const CriteriaTable& criteria, int32_t seconds, int level) {
    const LevelCriteria& c = criteria[level];
    return scalePoints(basePoints(seconds, c.targetTime), c.pointMultiplier);
}

bool LevelCleared(const Context& ctx, int level, int student) {
    if (!ctx.summary || !inTables(level, student)) return false;
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(student);
    const LevelCriteria& c = ctx.criteria[level];
    return ctx.summary->countPass[L][S] >= c.clearCount &&
           ctx.summary->pointsPass[L][S] >= c.clearPoints;
}

bool OverPractice(const Context& ctx, int level, int student) {
    if (!ctx.summary || !inTables(level, student)) return false;
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(student);
    const LevelCriteria& c = ctx.criteria[level];
    const double maxCount = leadingNumber(c.overPracticeCount);
    const double maxPoints = leadingNumber(c.overPracticePoints);
    return (maxCount != 0 && ctx.summary->countLimit[L][S] >= maxCount) ||
           (maxPoints != 0 && ctx.summary->pointsLimit[L][S] >= maxPoints);
}

} // namespace kestrel
