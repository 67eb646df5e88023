#pragma once
// Changing records of the shared results log while other PCs append to it:
// correcting a record in place, deleting a record, and finishing a delete
// that a crash or power loss stopped midway.
//
// Both changes hold the log's exclusive lock, as an append does, and write
// nothing unless the record at that number still holds the 44 bytes the
// teacher chose. A delete keeps the log's file (other PCs, old versions
// among them, may have it open and be waiting for its lock) and rewrites it
// in place from the deleted record on (a correction, too, moves the change
// mark first, results/ChangeMark.h):
//   0. the change mark moves, so that programs keeping the records they read
//      read the log anew;
//   1. the plan goes to "成績累積データ消去中.dat" beside the log and is synced:
//      the deleted position, the old number of records, the old last
//      record, and every record after the deleted one;
//   2. those records are written one position down, and synced;
//   3. the log is cut to one record less, and synced;
//   4. the plan is removed.
// Between steps 3 and 4 the deleted record goes to the file of deleted
// records beside the log (results/DeletedRecords.h), which the plan carries.
// Until step 3 the old last record stands at its place untouched, and once
// step 3 is done no record can stand there again but one appended later. So
// every open of the log (an append, a load, a change) that finds a whole
// plan knows where the delete stopped: with the old last record in place it
// writes the records again and cuts the log, keeping records that another PC
// appended after the crash (they move down with the rest); otherwise the
// delete was complete and the plan is removed. A plan cut short is removed:
// the log was not touched yet.
//
// Earlier versions of this program delete through a copy of the log under
// "成績累積データtemp.dat", and earlier copies of this one wrote their plan
// there. A file under that name is taken for a plan only when it carries a
// whole plan (its magic and a valid checksum), which is finished; anything
// else there is another program's and left alone: never read through,
// removed or renamed, and no reason for a load to ask for the exclusive lock.
// Deletes are refused while it is there, since it may hold the only copy of
// records an interrupted delete of that program took out of the log.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/SharedFile.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogIO.h"

namespace kestrel {

// The plan of a delete, in the log's folder.
inline constexpr const char* kDeletePlanName = "成績累積データ消去中.dat";
std::filesystem::path deletePlanPath(const std::filesystem::path& logPath);
// The temporary file of the earlier versions' delete, in the log's folder.
inline constexpr const char* kResultsTempName = "成績累積データtemp.dat";
std::filesystem::path resultsTempPath(const std::filesystem::path& logPath);

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
LogStatus readResultRecord(const LogAccess& log, uint64_t number, ResultBytes& bytes, bool& exists);

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

// With the log `locked` (opened through `files` at `logPath`, holding its
// exclusive lock): finishes a delete that stopped midway, or removes its
// plan when it stopped before touching the log. `foreign` names a file under
// a plan's name that is not a plan of this program and was left alone
// (empty when there is none).
FileStatus finishUnfinishedDelete(SharedFileSystem& files, const std::filesystem::path& logPath,
                                  SharedFile& locked, std::filesystem::path& foreign);

// Before a load reads the log through `file`: when a plan of this program
// lies beside the log, takes the exclusive lock, finishes the delete and
// lets go. Sharing when another PC holds the log (a delete may be under way
// there). A log opened read-only is read as it stands.
FileStatus finishDeleteBeforeRead(const LogAccess& log, SharedFile& file);

// What lies beside the log under a plan's name, looked at without changing
// anything (for the setup check): nothing; a plan whose delete the next
// open finishes; a plan a crash cut short, which the next open removes; or
// another program's file, left alone.
enum class PlanFileState { Absent, Unfinished, CutShort, Foreign };
struct DeletePlanFiles {
    PlanFileState own = PlanFileState::Absent;    // under kDeletePlanName
    PlanFileState design = PlanFileState::Absent; // under kResultsTempName
};
DeletePlanFiles inspectDeletePlans(SharedFileSystem& files, const std::filesystem::path& logPath);

} // namespace kestrel
