#pragma once
// Changing records of the shared results log while other PCs append to it:
// correcting a record in place, and deleting a record.
//
// Both hold the log's exclusive lock, as an append does, and write nothing
// unless the record at that number still holds the 44 bytes the teacher
// chose. Both first move the change mark (results/ChangeMark.h), so that
// programs keeping the records they read read the log anew. A delete keeps
// the log's file (other PCs, old versions among them, may have it open and
// be waiting for its lock) and rewrites it in place from the deleted record
// on, through a plan (results/DeletePlan.h, results/Journal.h); its record
// goes to the file of deleted records (results/DeletedRecords.h) once the
// shorter log is on disk, before the plan is removed.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/SharedFile.h"
#include "results/Journal.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogIO.h"

namespace kestrel {

enum class EditResult {
    Done,
    // The record at that number is no longer the one chosen (another PC's
    // teacher changed or deleted records meanwhile); nothing was written.
    RecordChanged,
    Failed,
};

struct LogEditStatus {
    EditResult result = EditResult::Done;
    // For a failure: what failed on which file, and whether the log is as
    // before. A change that was made may carry a warning too (a delete whose
    // record the file of deleted records could not take yet).
    std::string message;
    bool ok() const { return result == EditResult::Done; }
};

// The steps of a delete, for a test hook that stops the program after one.
enum class DeleteStep { PlanWritten, RecordsMoved, Truncated, EntryStored, PlanRemoved };
using DeleteStepHook = std::function<void(DeleteStep)>;

// Reads record `number` (from 1) with the waits of the sharing protocol;
// `exists` is false when the log holds fewer whole records.
[[nodiscard]] LogStatus readResultRecord(const LogAccess& log, uint64_t number, ResultBytes& bytes,
                                         bool& exists);

// Writes `corrected` over record `number` if it still holds `chosen`. OK
// only once the record is on disk; a failure leaves the record as chosen
// wherever the storage lets it be written back.
LogEditStatus correctResultRecord(const LogAccess& log, uint64_t number, const ResultBytes& chosen,
                                  const ResultBytes& corrected);

// Deletes record `number` if it still holds `chosen`; the records after it
// move down by one. OK only once the shorter log is on disk. A failure
// before the log was touched leaves it as it was; a failure after that is
// finished by the next open of the log, which the message says.
LogEditStatus deleteResultRecord(const LogAccess& log, uint64_t number, const ResultBytes& chosen,
                                 const DeleteStepHook& afterStep = {});

} // namespace kestrel
