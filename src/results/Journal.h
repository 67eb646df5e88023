#pragma once
// Changes that rewrite the shared results files (a delete, a restore),
// safe against a crash or power loss at any instant and against other PCs'
// appends. Each holds the log's exclusive lock from start to end, as an
// append does, and goes through a plan beside the log:
//   1. the plan goes to "成績累積データ消去中.dat" and is synced, with its
//      folder, before anything else is touched;
//   2. the change is applied to the log and synced;
//   3. it is committed to the files beside the log (the file of deleted
//      records) and synced;
//   4. the plan is removed.
// Every open of the log (an append, a load, a change) that finds a plan
// decides it as the plan's kind says: a delete's whole plan is carried
// through, keeping records another PC appended since; a restore's plan is
// finished when its record stands in the log and dropped otherwise; a plan
// cut short is dropped, since the log was not touched yet. A change whose
// step fails is decided the same way at once; a plan that cannot be removed
// then is removed by the next open, which finds the change complete.
//
// Earlier versions of this program delete through a copy of the log under
// "成績累積データtemp.dat", and earlier copies of this one wrote their plan
// there. A file under that name is taken for a plan only when it carries a
// whole delete plan (its magic and a valid checksum), which is finished;
// anything else there is another program's and left alone: never read
// through, removed or renamed, and no reason for a load to ask for the
// exclusive lock. Changes are refused while it is there, since it may hold
// the only copy of records an interrupted delete of that program took out
// of the log.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/SharedFile.h"
#include "results/ResultsLogIO.h"
#include "results/SharingRetry.h"

namespace kestrel {

// The plan of a change, in the log's folder.
inline constexpr const char* kDeletePlanName = "成績累積データ消去中.dat";
std::filesystem::path deletePlanPath(const std::filesystem::path& logPath);
// The temporary file of the earlier versions' delete, in the log's folder.
inline constexpr const char* kResultsTempName = "成績累積データtemp.dat";
std::filesystem::path resultsTempPath(const std::filesystem::path& logPath);

// A failed step: what failed on which file.
struct StepFailure {
    FileStatus status;
    std::string action = {}; // completes "「file」…"
    std::filesystem::path file = {};
    bool failed() const { return !status.ok(); }
    std::string text() const { return fileFailureText(file, status, action); }
};

[[nodiscard]] inline StepFailure fail(const FileStatus& s, const std::filesystem::path& file,
                                      std::string action) {
    return {s, std::move(action), file};
}

// Reads exactly `count` bytes at `offset`; fewer is a failure.
[[nodiscard]] FileStatus readExactly(SharedFile& file, uint64_t offset, void* out, size_t count);
// Writes `count` bytes at `offset` (none: only syncs) and syncs them.
[[nodiscard]] FileStatus writeAndSync(SharedFile& file, uint64_t offset, const void* bytes,
                                      size_t count);
// The whole records of the log.
[[nodiscard]] FileStatus recordCount(SharedFile& file, uint64_t& records);

// The steps a change's test hook hears of.
enum class JournalStep { PlanWritten, Applied, Committed, PlanRemoved };

// One change made through a plan: its plan's bytes and the steps that make it.
class PlannedChange {
public:
    virtual ~PlannedChange() = default;
    virtual std::string plan() const = 0;
    // Changes the locked log as planned, synced.
    [[nodiscard]] virtual StepFailure apply(SharedFile& log) = 0;
    // Brings the files beside the log in line with the change, synced.
    [[nodiscard]] virtual StepFailure commit() = 0;
    virtual void after(JournalStep) {}
};

// How a change made through its plan ended.
struct JournalOutcome {
    enum class Step { None, Plan, Apply, Commit };
    Step failedAt = Step::None;
    StepFailure failure; // of that step
    // The change stands: made whole, or finished from its plan at once.
    bool tookEffect = false;
    // Deciding the plan at once failed: the next open decides it.
    StepFailure unfinished;
    bool ok() const { return failedAt == Step::None; }
};

// With the log `locked`: makes `change` through its plan (steps 1 to 4).
[[nodiscard]] JournalOutcome runPlannedChange(SharedFileSystem& files,
                                              const std::filesystem::path& logPath,
                                              SharedFile& locked, PlannedChange& change);

// With the log `locked`: decides every plan beside it. `foreign` names a
// file under a plan's name that is not a plan of this program and was left
// alone (empty when there is none).
[[nodiscard]] StepFailure finishPlans(SharedFileSystem& files, const std::filesystem::path& logPath,
                                      SharedFile& locked, std::filesystem::path& foreign);

// Opens the log for a change, takes its exclusive lock and decides any plan
// left. Null on failure, with `failure` telling why; `foreign` as above.
[[nodiscard]] std::unique_ptr<SharedFile> openForChange(const LogAccess& log, StepFailure& failure,
                                                        std::filesystem::path& foreign);

// Why a change is refused while another program's file lies under a plan's
// name; `change` names it ("消去", "元に戻").
std::string foreignFileText(const std::filesystem::path& file, const char* change);

// Lets go of the log's lock and closes it; the first failure.
FileStatus unlockAndClose(SharedFile& file);

// With the log `locked` (opened through `files` at `logPath`, holding its
// exclusive lock): finishes a change that stopped midway, or removes its
// plan when it stopped before touching the log. `foreign` names a file under
// a plan's name that is not a plan of this program and was left alone
// (empty when there is none).
[[nodiscard]] FileStatus finishUnfinishedDelete(SharedFileSystem& files,
                                                const std::filesystem::path& logPath,
                                                SharedFile& locked, std::filesystem::path& foreign);

// Before a load reads the log through `file`: when a plan of this program
// lies beside the log, takes the exclusive lock, finishes the change and
// lets go. Sharing when another PC holds the log (a change may be under way
// there). A log opened read-only is read as it stands.
[[nodiscard]] FileStatus finishDeleteBeforeRead(const LogAccess& log, SharedFile& file);

// What lies beside the log under a plan's name, looked at without changing
// anything (for the setup check): nothing; a plan whose change the next
// open finishes; a plan a crash cut short, which the next open removes; or
// another program's file, left alone.
enum class PlanFileState { Absent, Unfinished, CutShort, Foreign };
struct DeletePlanFiles {
    PlanFileState own = PlanFileState::Absent;    // under kDeletePlanName
    PlanFileState design = PlanFileState::Absent; // under kResultsTempName
};
DeletePlanFiles inspectDeletePlans(SharedFileSystem& files, const std::filesystem::path& logPath);

} // namespace kestrel
