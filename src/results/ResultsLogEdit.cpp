#include "results/ResultsLogEdit.h"

#include <cstring>

#include "results/ChangeMark.h"
#include "results/DeletePlan.h"
#include "results/DeletedRecords.h"
#include "startup/Calendar.h"

namespace kestrel {
namespace {

using Attempt = SharedTry<LogEditStatus>;

Attempt failed(const std::string& what, const StepFailure& f) {
    if (f.status.fault == FileFault::Sharing) return heldElsewhere<LogEditStatus>();
    return {false, {EditResult::Failed, what + f.text()}};
}

Attempt changed() {
    return {false, {EditResult::RecordChanged, {}}};
}

const char* const kCorrectFailed = "記録を変更できませんでした。\r\n";
const char* const kDeleteFailed = "記録を消去できませんでした。\r\n";

// Opens and locks the log, finishes an unfinished change and checks that
// record `number` is still `chosen`. Null with the attempt's outcome set
// otherwise.
std::unique_ptr<SharedFile> openChosen(const LogAccess& log, uint64_t number,
                                       const ResultBytes& chosen, const char* what,
                                       uint64_t& records, std::filesystem::path& foreign,
                                       Attempt& outcome) {
    StepFailure f;
    std::unique_ptr<SharedFile> file = openForChange(log, f, foreign);
    if (!file) {
        outcome = failed(what, f);
        return nullptr;
    }
    FileStatus s = recordCount(*file, records);
    if (!s.ok()) {
        outcome = failed(what, fail(s, log.path, "の長さを読めません"));
        return nullptr;
    }
    if (number < 1 || number > records) {
        outcome = changed();
        return nullptr;
    }
    ResultBytes now{};
    s = readExactly(*file, (number - 1) * kResultRecordSize, now.data(), now.size());
    if (!s.ok()) {
        outcome = failed(what, fail(s, log.path, "を読めません"));
        return nullptr;
    }
    if (now != chosen) {
        outcome = changed();
        return nullptr;
    }
    return file;
}

// A delete through its plan: the records after the deleted one go one
// down, the log is cut, and the record goes to the file of deleted records.
class Delete : public PlannedChange {
public:
    Delete(const LogAccess& log, DeletePlan plan, const DeleteStepHook& afterStep)
        : m_log(log), m_plan(std::move(plan)), m_afterStep(afterStep) {}
    std::string plan() const override { return encodeDeletePlan(m_plan); }
    StepFailure apply(SharedFile& log) override {
        return carryOutDelete(log, m_log.path, m_plan, [&] { hear(DeleteStep::RecordsMoved); });
    }
    StepFailure commit() override {
        const FileStatus s = storeEntryOf(m_log.files, m_log.path, m_plan);
        return s.ok() ? StepFailure{} : fail(s, deletedRecordsPath(m_log.path), "に書き込めません");
    }
    void after(JournalStep step) override {
        switch (step) {
        case JournalStep::PlanWritten:
            return hear(DeleteStep::PlanWritten);
        case JournalStep::Applied:
            return hear(DeleteStep::Truncated);
        case JournalStep::Committed:
            return hear(DeleteStep::EntryStored);
        case JournalStep::PlanRemoved:
            return hear(DeleteStep::PlanRemoved);
        }
    }

private:
    void hear(DeleteStep step) {
        if (m_afterStep) m_afterStep(step);
    }
    const LogAccess& m_log;
    DeletePlan m_plan;
    const DeleteStepHook& m_afterStep;
};

// The plan of deleting record `number` of `records`, read from the locked log.
FileStatus planDelete(const LogAccess& log, SharedFile& file, uint64_t number, uint64_t records,
                      const ResultBytes& chosen, DeletePlan& plan) {
    plan.deleted = number;
    plan.count = records;
    plan.moved.assign(static_cast<size_t>(records - number) * kResultRecordSize, '\0');
    if (!plan.moved.empty()) {
        const FileStatus s =
            readExactly(file, number * kResultRecordSize, plan.moved.data(), plan.moved.size());
        if (!s.ok()) return s;
    }
    const LocalTime now = log.clock.now();
    DeletedRecord entry;
    entry.record = chosen;
    entry.deletedDate = static_cast<double>(dayNumber(now.date));
    entry.deletedTime = dayFraction(now.secondsOfDay);
    entry.number = number;
    const DeletedEntryBytes bytes = encodeDeletedEntry(entry);
    plan.entry.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (plan.moved.empty())
        plan.last = chosen;
    else
        std::memcpy(plan.last.data(), plan.moved.data() + plan.moved.size() - kResultRecordSize,
                    kResultRecordSize);
    return FileStatus::success();
}

} // namespace

LogStatus readResultRecord(const LogAccess& log, uint64_t number, ResultBytes& bytes,
                           bool& exists) {
    exists = false;
    const LogEditStatus a = retryWhileShared(log, [&]() -> Attempt {
        const char* const what = "記録を読めませんでした。\r\n";
        FileStatus s;
        std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Read, s);
        if (!file) return failed(what, fail(s, log.path, "を開けません"));
        s = finishDeleteBeforeRead(log, *file);
        if (s.ok()) s = file->lockShared();
        if (!s.ok()) return failed(what, fail(s, log.path, "を読めません"));
        uint64_t records = 0;
        s = recordCount(*file, records);
        if (!s.ok()) return failed(what, fail(s, log.path, "の長さを読めません"));
        if (number >= 1 && number <= records) {
            s = readExactly(*file, (number - 1) * kResultRecordSize, bytes.data(), bytes.size());
            if (!s.ok()) return failed(what, fail(s, log.path, "を読めません"));
            exists = true;
        }
        s = file->close();
        if (!s.ok()) return failed(what, fail(s, log.path, "を閉じられません"));
        return {};
    });
    return {a.ok() ? FileFault::None : FileFault::Other, a.message};
}

LogEditStatus correctResultRecord(const LogAccess& log, uint64_t number, const ResultBytes& chosen,
                                  const ResultBytes& corrected) {
    return retryWhileShared(log, [&]() -> Attempt {
        Attempt outcome;
        uint64_t records = 0;
        std::filesystem::path foreign;
        std::unique_ptr<SharedFile> file =
            openChosen(log, number, chosen, kCorrectFailed, records, foreign, outcome);
        if (!file) return outcome;
        FileStatus s = moveChangeMark(log.files, log.path);
        if (!s.ok())
            return failed(kCorrectFailed, fail(s, changeMarkPath(log.path), "に書き込めません"));
        // One record in place: written whole or put back, no plan needed.
        const uint64_t offset = (number - 1) * kResultRecordSize;
        s = file->writeAt(offset, corrected.data(), corrected.size());
        const char* action = "に書き込めません";
        if (s.ok()) {
            s = file->sync();
            action = "をディスクに書き込めません";
        }
        if (!s.ok()) {
            // Put the record back as chosen where the storage still lets us.
            (void)writeAndSync(*file, offset, chosen.data(), chosen.size());
            return {false, {EditResult::Failed, kCorrectFailed + fail(s, log.path, action).text()}};
        }
        // On disk: closing can no longer lose it.
        (void)unlockAndClose(*file);
        return {};
    });
}

LogEditStatus deleteResultRecord(const LogAccess& log, uint64_t number, const ResultBytes& chosen,
                                 const DeleteStepHook& afterStep) {
    return retryWhileShared(log, [&]() -> Attempt {
        Attempt outcome;
        uint64_t records = 0;
        std::filesystem::path foreign;
        std::unique_ptr<SharedFile> file =
            openChosen(log, number, chosen, kDeleteFailed, records, foreign, outcome);
        if (!file) return outcome;
        if (!foreign.empty())
            return {false, {EditResult::Failed, kDeleteFailed + foreignFileText(foreign, "消去")}};
        FileStatus s = moveChangeMark(log.files, log.path);
        if (!s.ok())
            return failed(kDeleteFailed, fail(s, changeMarkPath(log.path), "に書き込めません"));
        DeletePlan plan;
        s = planDelete(log, *file, number, records, chosen, plan);
        if (!s.ok()) return failed(kDeleteFailed, fail(s, log.path, "を読めません"));

        Delete change(log, std::move(plan), afterStep);
        const JournalOutcome o = runPlannedChange(log.files, log.path, *file, change);
        if (o.failedAt == JournalOutcome::Step::Plan) return failed(kDeleteFailed, o.failure);
        if (o.unfinished.failed()) {
            if (o.failedAt == JournalOutcome::Step::Commit)
                return {false,
                        {EditResult::Done,
                         "記録を消去しました。ただし、" + o.unfinished.text() +
                             "\r\n消去した記録は、次に成績ファイルを開くときに書き込みます。"}};
            return {
                false,
                {EditResult::Failed, kDeleteFailed + o.failure.text() +
                                         "\r\n消去は、次に成績ファイルを開くときに仕上げます。"}};
        }
        // On disk: the shorter log, made or finished from the plan.
        (void)unlockAndClose(*file);
        return {};
    });
}

} // namespace kestrel
