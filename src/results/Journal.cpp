#include "results/Journal.h"

#include <algorithm>

#include "platform/Utf8Path.h"
#include "results/DeletePlan.h"
#include "results/DeletedRecords.h"

namespace kestrel {
namespace {

FileStatus removePlan(SharedFileSystem& files, const std::filesystem::path& planPath) {
    const FileStatus s = files.remove(planPath);
    return s.fault == FileFault::NotFound ? FileStatus::success() : s;
}

// Step 1: the plan on disk, name and all; on failure nothing of it is left.
StepFailure writePlan(SharedFileSystem& files, const std::filesystem::path& planPath,
                      const std::string& bytes) {
    FileStatus s;
    std::unique_ptr<SharedFile> plan = files.open(planPath, SharedAccess::Write, s);
    if (plan) s = plan->truncate(0);
    if (s.ok()) s = writeAndSync(*plan, 0, bytes.data(), bytes.size());
    if (s.ok()) s = plan->close();
    if (s.ok()) s = files.syncFolder(planPath.parent_path());
    if (s.ok()) return {};
    plan.reset();
    (void)removePlan(files, planPath);
    return fail(s, planPath, "に書き込めません");
}

// Where a plan may lie: under this program's own name, where a file that
// begins as a plan is one (whole, or cut short by a crash); or under the
// earlier versions' temporary name, where only a whole delete plan is ours.
enum class PlanName { Own, Design };

enum class PlanKind { Restore, Delete, Foreign };

PlanKind kindOf(const std::string& head, PlanName name) {
    if (name == PlanName::Own && isRestorePlan(head)) return PlanKind::Restore;
    const bool delete_ = name == PlanName::Own ? beginsAsDeletePlan(head) : isDeletePlanMagic(head);
    return delete_ ? PlanKind::Delete : PlanKind::Foreign;
}

std::string headOf(const std::string& bytes) {
    return bytes.substr(0, 8);
}

// What deciding a plan found.
enum class Decided { Absent, Foreign, Done };

// Finishes the change whose plan lies at `planPath`, or drops it when the
// change never touched the log; the caller removes the plan when Done.
// Another program's file there is not read through.
StepFailure decidePlanAt(SharedFileSystem& files, const std::filesystem::path& logPath,
                         SharedFile& log, const std::filesystem::path& planPath, PlanName name,
                         Decided& decided, bool& tookEffect) {
    decided = Decided::Absent;
    tookEffect = false;
    FileStatus s;
    std::unique_ptr<SharedFile> plan = files.open(planPath, SharedAccess::Existing, s);
    if (!plan)
        return s.fault == FileFault::NotFound ? StepFailure{} : fail(s, planPath, "を開けません");
    std::string head(8, '\0');
    size_t got = 0;
    s = plan->readAt(0, head.data(), head.size(), got);
    if (!s.ok()) return fail(s, planPath, "を読めません");
    head.resize(got);
    const PlanKind kind = kindOf(head, name);
    decided = Decided::Foreign;
    if (kind == PlanKind::Foreign) return {};
    std::string bytes;
    s = readWholeFile(*plan, bytes);
    if (!s.ok()) return fail(s, planPath, "を読めません");
    if (kind == PlanKind::Restore) {
        (void)plan->close();
        decided = Decided::Done;
        return finishRestorePlan(files, logPath, log, bytes, tookEffect);
    }
    DeletePlans plans = parseDeletePlans(bytes);
    if (plans.plans.empty()) {
        // Cut short: the log was not touched yet.
        if (plans.ours && name == PlanName::Own) decided = Decided::Done;
        return {};
    }
    decided = Decided::Done;
    tookEffect = true;
    return finishDeletePlans(files, logPath, log, *plan, planPath, plans);
}

StepFailure finishPlanAt(SharedFileSystem& files, const std::filesystem::path& logPath,
                         SharedFile& log, const std::filesystem::path& planPath, PlanName name,
                         std::filesystem::path& foreign) {
    Decided decided = Decided::Absent;
    bool tookEffect = false;
    const StepFailure f = decidePlanAt(files, logPath, log, planPath, name, decided, tookEffect);
    if (f.failed()) return f;
    if (decided == Decided::Foreign) foreign = planPath;
    if (decided != Decided::Done) return {};
    const FileStatus s = removePlan(files, planPath);
    return s.ok() ? StepFailure{} : fail(s, planPath, "を消せません");
}

// Whether a plan of this program lies at `planPath`, looked at without the
// log's lock: a load then takes the exclusive lock to finish it. What
// another program left there costs a load one open and one small read.
bool planAwaits(SharedFileSystem& files, const std::filesystem::path& planPath, PlanName name) {
    FileStatus s;
    std::unique_ptr<SharedFile> file = files.open(planPath, SharedAccess::Existing, s);
    if (!file) return false;
    std::string head(8, '\0');
    size_t got = 0;
    if (!file->readAt(0, head.data(), head.size(), got).ok()) return false;
    head.resize(got);
    if (kindOf(head, name) == PlanKind::Foreign) return false;
    if (name == PlanName::Own) return true;
    std::string bytes;
    return readWholeFile(*file, bytes).ok() && !parseDeletePlans(bytes).plans.empty();
}

} // namespace

std::filesystem::path deletePlanPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / pathFromUtf8(kDeletePlanName);
}

std::filesystem::path resultsTempPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / pathFromUtf8(kResultsTempName);
}

FileStatus readExactly(SharedFile& file, uint64_t offset, void* out, size_t count) {
    size_t got = 0;
    const FileStatus s = file.readAt(offset, out, count, got);
    if (!s.ok()) return s;
    return got == count ? FileStatus::success() : FileStatus::inputOutputError();
}

FileStatus writeAndSync(SharedFile& file, uint64_t offset, const void* bytes, size_t count) {
    if (count > 0) {
        const FileStatus s = file.writeAt(offset, bytes, count);
        if (!s.ok()) return s;
    }
    return file.sync();
}

FileStatus recordCount(SharedFile& file, uint64_t& records) {
    uint64_t length = 0;
    const FileStatus s = file.size(length);
    records = length / kResultRecordSize;
    return s;
}

FileStatus unlockAndClose(SharedFile& file) {
    const FileStatus s = file.unlock();
    const FileStatus c = file.close();
    return s.ok() ? c : s;
}

JournalOutcome runPlannedChange(SharedFileSystem& files, const std::filesystem::path& logPath,
                                SharedFile& locked, PlannedChange& change) {
    using Step = JournalOutcome::Step;
    JournalOutcome out;
    const std::filesystem::path planPath = deletePlanPath(logPath);
    out.failure = writePlan(files, planPath, change.plan());
    if (out.failure.failed()) {
        out.failedAt = Step::Plan;
        return out;
    }
    change.after(JournalStep::PlanWritten);
    out.failedAt = Step::Apply;
    out.failure = change.apply(locked);
    if (!out.failure.failed()) {
        change.after(JournalStep::Applied);
        out.failedAt = Step::Commit;
        out.failure = change.commit();
    }
    if (out.failure.failed()) {
        // What the log holds decides, as the next open would decide.
        Decided decided = Decided::Absent;
        out.unfinished =
            decidePlanAt(files, logPath, locked, planPath, PlanName::Own, decided, out.tookEffect);
        // A plan that cannot be removed now is removed by the next open,
        // which finds the change decided.
        if (!out.unfinished.failed()) (void)removePlan(files, planPath);
        return out;
    }
    change.after(JournalStep::Committed);
    out.failedAt = Step::None;
    out.tookEffect = true;
    if (files.remove(planPath).ok()) change.after(JournalStep::PlanRemoved);
    return out;
}

StepFailure finishPlans(SharedFileSystem& files, const std::filesystem::path& logPath,
                        SharedFile& locked, std::filesystem::path& foreign) {
    foreign.clear();
    std::filesystem::path other;
    StepFailure f =
        finishPlanAt(files, logPath, locked, deletePlanPath(logPath), PlanName::Own, other);
    if (!f.failed())
        f = finishPlanAt(files, logPath, locked, resultsTempPath(logPath), PlanName::Design,
                         foreign);
    if (foreign.empty()) foreign = other;
    return f;
}

std::unique_ptr<SharedFile> openForChange(const LogAccess& log, StepFailure& failure,
                                          std::filesystem::path& foreign) {
    FileStatus s;
    std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Write, s);
    if (!file) {
        failure = fail(s, log.path, "を開けません");
        return nullptr;
    }
    s = file->lockExclusive();
    if (!s.ok()) {
        failure = fail(s, log.path, "をロックできません");
        return nullptr;
    }
    failure = finishPlans(log.files, log.path, *file, foreign);
    if (failure.failed()) return nullptr;
    return file;
}

std::string foreignFileText(const std::filesystem::path& file, const char* change) {
    return "「" + displayPath(file) +
           "」は、ほかのプログラム（前の版のこのプログラムなど）が残したファイルです。消去のとちゅ"
           "う"
           "で止まった成績ファイルの写しかもしれません。中を確かめて、いらなければ消してから、もう"
           "一度" +
           change + "して下さい。";
}

FileStatus finishUnfinishedDelete(SharedFileSystem& files, const std::filesystem::path& logPath,
                                  SharedFile& locked, std::filesystem::path& foreign) {
    return finishPlans(files, logPath, locked, foreign).status;
}

FileStatus finishDeleteBeforeRead(const LogAccess& log, SharedFile& file) {
    if (!planAwaits(log.files, deletePlanPath(log.path), PlanName::Own) &&
        !planAwaits(log.files, resultsTempPath(log.path), PlanName::Design))
        return {};
    FileStatus s = file.lockExclusive();
    if (s.fault == FileFault::Sharing) return s;
    if (!s.ok()) return {}; // read-only: read the log as it stands
    std::filesystem::path foreign;
    (void)finishPlans(log.files, log.path, file, foreign);
    (void)file.unlock();
    return {};
}

DeletePlanFiles inspectDeletePlans(SharedFileSystem& files, const std::filesystem::path& logPath) {
    const auto state = [&](const std::filesystem::path& path, PlanName name) {
        FileStatus s;
        std::unique_ptr<SharedFile> file = files.open(path, SharedAccess::ReadOnly, s);
        if (!file)
            return s.fault == FileFault::NotFound ? PlanFileState::Absent : PlanFileState::Foreign;
        std::string bytes;
        if (!readWholeFile(*file, bytes).ok()) return PlanFileState::Foreign;
        // A restore's plan shares the delete's name; the next open finishes or drops it.
        switch (kindOf(headOf(bytes), name)) {
        case PlanKind::Restore:
            return PlanFileState::Unfinished;
        case PlanKind::Foreign:
            return PlanFileState::Foreign;
        case PlanKind::Delete:
            break;
        }
        const DeletePlans plans = parseDeletePlans(bytes);
        if (!plans.plans.empty()) return PlanFileState::Unfinished;
        return name == PlanName::Own && plans.ours ? PlanFileState::CutShort
                                                   : PlanFileState::Foreign;
    };
    return {state(deletePlanPath(logPath), PlanName::Own),
            state(resultsTempPath(logPath), PlanName::Design)};
}

} // namespace kestrel
