#pragma once
// The bookkeeping of a finished run: what it achieved against the summary
// last built (which does not hold it yet), and its record appended to the log.
#include "results/KeptRuns.h"
#include "results/ResultsLogIO.h"
#include "results/ResultsSummary.h"
#include "startup/CriteriaTable.h"

namespace kestrel {

struct RecordOutcome {
    RecordFlags flags;
    LogStatus status;          // the append's; the flags stand only when it is OK
    bool appendFailed = false; // the append itself failed (not a number out of range)
    // Where the run waits on this PC when the log could not take it (the
    // school's recordRun keeps it).
    KeepOutcome kept;
};

// Compares `run` with the best times (strictly: an equal time sets no flag),
// lowers them, and appends the record. Only students 1..1000 make the
// overall best, so only they can set a new one. A level or student number
// outside 0..35 or 0..5000 is refused before anything is written.
RecordOutcome RecordRun(ResultsSummary& summary, const CriteriaTable& criteria,
                        const LogAccess& log, const ResultRecord& run);

} // namespace kestrel
