#pragma once
// The plan of a delete (results/Journal.h): the deleted position, the old
// number of records, the old last record, every record after the deleted
// one, and the entry for the file of deleted records. The records after
// the deleted one are written one position down, then the log is cut to one
// record less. Until the cut the old last record stands at its place
// untouched, and once the log is cut no record can stand there again but
// one appended later: so whoever finds a whole plan knows where the delete
// stopped.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/SharedFile.h"
#include "results/Journal.h"
#include "results/ResultRecord.h"

namespace kestrel {

struct DeletePlan {
    uint64_t deleted = 0; // position of the deleted record, from 1
    uint64_t count = 0;   // whole records of the log when planned
    ResultBytes last{};   // the record at position `count` when planned
    std::string moved;    // records deleted+1 .. count, each to go one down
    std::string entry;    // for the file of deleted records; empty for a plan without one
};

std::string encodeDeletePlan(const DeletePlan& plan);

// The plans of a plan file: a recovery that meets records appended after a
// crash appends a further plan, and the last whole plan is the one that counts.
struct DeletePlans {
    std::vector<DeletePlan> plans;
    uint64_t wholeLength = 0; // bytes up to the end of the last whole plan
    bool ours = false;        // a plan of this program, or what a crash left of one
};
DeletePlans parseDeletePlans(const std::string& bytes);

// Whether a file under the plan's own name that begins with `head` is a
// delete's plan, or what a crash left of one: the magic, or nothing, a
// beginning of the magic or zero bytes only.
bool beginsAsDeletePlan(const std::string& head);
// Whether `head` is a delete plan's whole magic.
bool isDeletePlanMagic(const std::string& head);

// Steps 2 and 3 of a delete on the locked log; `moved` and `truncated`
// come after each.
[[nodiscard]] StepFailure carryOutDelete(SharedFile& log, const std::filesystem::path& logPath,
                                         const DeletePlan& plan,
                                         const std::function<void()>& moved = {});

// With the log `locked` and the plan file open as `planFile`: carries the
// last whole plan through, or sees that it went through, and stores its
// entry in the file of deleted records.
[[nodiscard]] StepFailure
finishDeletePlans(SharedFileSystem& files, const std::filesystem::path& logPath, SharedFile& locked,
                  SharedFile& planFile, const std::filesystem::path& planPath, DeletePlans& plans);

// Stores the plan's entry in the file of deleted records, if it has one.
[[nodiscard]] FileStatus storeEntryOf(SharedFileSystem& files, const std::filesystem::path& logPath,
                                      const DeletePlan& plan);

} // namespace kestrel
