#pragma once
// The records a teacher deleted from the shared results log, kept in
// "成績累積データ消去記録.dat" beside it so that a delete can be undone.
//
// The file is a sequence of fixed entries of 112 bytes, little-endian: the
// magic "KDEL", a version, the deleted record's 44 bytes, when it was
// deleted, its record number then, and, once it is put back, when that was
// and the record number it got. Entries are only ever added at the end or
// marked as restored in place, always under the log's exclusive lock, so
// the file's writers never meet. A delete carries its entry in its plan
// (results/ResultsLogEdit.h) and stores it once the shorter log is on
// disk and before the plan is removed; a recovery stores it again, and an
// entry already in the file is never stored twice. So the file holds the
// deleted record exactly once whenever the delete took effect, and not at
// all when it did not.
//
// Restoring appends the record to the log again, as an append does, under
// the same lock and through a plan of its own (results/Journal.h):
//   1. the plan (the entry, where it lies in the file, and the record
//      number the record will get) is written and synced;
//   2. the record is written after the log's last whole record and synced;
//   3. the entry is marked restored and synced;
//   4. the plan is removed.
// An open of the log that finds such a plan looks at the log: when the
// record stands at its planned number the restore happened and the entry
// is marked; otherwise nothing was appended and the plan is dropped, so a
// record is never put back twice, and the teacher can try again.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/SharedFile.h"
#include "results/Journal.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsLogIO.h"

namespace kestrel {

inline constexpr const char* kDeletedRecordsName = "成績累積データ消去記録.dat";
std::filesystem::path deletedRecordsPath(const std::filesystem::path& logPath);

inline constexpr size_t kDeletedEntrySize = 112;
using DeletedEntryBytes = std::array<unsigned char, kDeletedEntrySize>;

// One entry of the file.
struct DeletedRecord {
    uint64_t offset = 0; // of the entry in the file
    ResultBytes record{};
    double deletedDate = 0; // day number
    double deletedTime = 0; // fraction of a day
    uint64_t number = 0;    // the record's number in the log when it was deleted
    bool restored = false;
    double restoredDate = 0;
    double restoredTime = 0;
    uint64_t restoredAs = 0; // the number it got back
};

DeletedEntryBytes encodeDeletedEntry(const DeletedRecord& entry);
// The whole entries of the file's bytes, in file order; anything else
// (an entry cut short at the end, bytes without the magic) is skipped.
std::vector<DeletedRecord> parseDeletedRecords(const std::string& bytes);

// With the log's exclusive lock held: adds `entry` at the end of the file
// unless an entry of the same deleted record (the same bytes, time and
// number) is there already, and syncs it.
[[nodiscard]] FileStatus storeDeletedEntry(SharedFileSystem& files,
                                           const std::filesystem::path& logPath,
                                           const DeletedEntryBytes& entry);

// Whether a plan file that begins with these bytes is a restore's plan.
bool isRestorePlan(const std::string& head);
// With the log `locked`: finishes or drops the restore whose plan's bytes
// are `plan` (see above); `restored` tells which. The caller removes the plan.
[[nodiscard]] StepFailure finishRestorePlan(SharedFileSystem& files,
                                            const std::filesystem::path& logPath,
                                            SharedFile& locked, const std::string& plan,
                                            bool& restored);

// Every entry, read under the log's shared lock after any unfinished change
// is finished; a missing file is an empty list. Waits for a log held by
// another PC.
[[nodiscard]] LogStatus readDeletedRecords(const LogAccess& log, std::vector<DeletedRecord>& out);

// The steps of a restore, for a test hook that stops the program after one.
enum class RestoreStep { PlanWritten, RecordAppended, EntryMarked, PlanRemoved };
using RestoreStepHook = std::function<void(RestoreStep)>;

// Appends the record of `chosen` to the log again and marks its entry
// restored, if the entry is still as chosen and not restored yet
// (RecordChanged otherwise). `restoredAs` gets the record's new number.
LogEditStatus restoreDeletedRecord(const LogAccess& log, const DeletedRecord& chosen,
                                   uint64_t& restoredAs, const RestoreStepHook& afterStep = {});

} // namespace kestrel
