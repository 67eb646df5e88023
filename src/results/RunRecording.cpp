#include "results/RunRecording.h"

#include <cerrno>
#include <string>

#include "results/ResultsRules.h"

namespace kestrel {

RecordOutcome RecordRun(ResultsSummary& summary, const CriteriaTable& criteria,
                        const LogAccess& log, const ResultRecord& run) {
    RecordOutcome out;
    const int level = run.level;
    const int s = run.studentNumber;
    if (level < 0 || level > kMaxLevel || s < 0 || s > kMaxStudent) {
        out.status = {FileFault::Other, "Seisekikiroku生徒番号 " + std::to_string(s) +
                                            " またはレベル " + std::to_string(level) +
                                            " が範囲外です。" + std::to_string(ERANGE)};
        return out;
    }
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(s);
    const LevelCriteria& c = criteria[level];
    RecordFlags& flags = out.flags;
    flags.clearedBefore =
        (summary.countAll[L][S] >= c.clearCount && summary.pointsAll[L][S] >= c.clearPoints) ? 1
                                                                                             : 0;
    if (run.seconds < summary.bestTime[L][S]) {
        flags.newPersonalBest = 1;
        summary.bestTime[L][S] = run.seconds;
    }
    // `run` is dated when the run ended, not when the lock is won: the wait
    // for another PC is seconds, and a run that waits across midnight still
    // belongs to the day the child made it, the day its header counted.
    out.status = AppendResult(log, run);
    if (!out.status.ok()) {
        out.appendFailed = true;
        return out;
    }
    // Only students 1 to 1000 hold the overall best, here as when the log is
    // loaded: otherwise a student above 1000 would be told of a school record
    // that the level menu, rebuilt from the log, never shows.
    if (s >= 1 && s <= kOverallBestStudents && run.seconds < summary.overallBest[L]) {
        summary.overallBest[L] = run.seconds;
        flags.newOverallBest = 1;
    }
    return out;
}

} // namespace kestrel
