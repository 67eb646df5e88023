#include "results/ResultsLogEdit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "results/ChangeMark.h"
#include "results/DeletedRecords.h"
#include "results/PlanBytes.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr double kSharingWaitSeconds = 1.0;

// A plan: magic, version, deleted position, old record count, number of
// moved records, the old last record, the moved records, (from version 2)
// the length and bytes of the entry for the file of deleted records, and a
// checksum of all that. A crash while the plan is written leaves it without
// a valid checksum; a recovery that meets records appended after a crash
// appends a further plan, and the last whole plan is the one that counts.
// Earlier copies take a version-2 plan for another program's file and
// leave it to this one, so that none finishes a delete without its entry.
constexpr unsigned char kPlanMagic[8] = {'K', 'S', 'T', 'R', 'L', 'D', 'E', 'L'};
constexpr uint32_t kPlanVersion = 2;
constexpr uint32_t kFirstPlanVersion = 1; // without the entry
constexpr size_t kPlanHeaderSize = 8 + 4 + 8 + 8 + 8 + kResultRecordSize;
constexpr size_t kPlanChecksumSize = 8;

struct DeletePlan {
    uint64_t deleted = 0; // position of the deleted record, from 1
    uint64_t count = 0;   // whole records of the log when planned
    ResultBytes last{};   // the record at position `count` when planned
    std::string moved;    // records deleted+1 .. count, each to go one down
    std::string entry;    // for the file of deleted records; empty for a plan without one
};

struct StepFailure {
    FileStatus status;
    std::string action; // completes "「file」…"
    std::filesystem::path file;
    bool failed() const { return !status.ok(); }
};

StepFailure fail(const FileStatus& s, const std::filesystem::path& file, std::string action) {
    return {s, std::move(action), file};
}

std::string describe(const StepFailure& f) {
    return "「" + displayPath(f.file) + "」" + f.action + "（" + f.status.description + "）";
}

template <typename T> void putLittle(std::string& out, T value) {
    for (size_t i = 0; i < sizeof(T); ++i)
        out += static_cast<char>(static_cast<unsigned char>(value >> (8 * i)));
}

template <typename T> T getLittle(const unsigned char* in) {
    return le::read<T>(in);
}

std::string encodePlan(const DeletePlan& p) {
    std::string out(reinterpret_cast<const char*>(kPlanMagic), sizeof kPlanMagic);
    putLittle(out, kPlanVersion);
    putLittle(out, p.deleted);
    putLittle(out, p.count);
    putLittle(out, static_cast<uint64_t>(p.moved.size() / kResultRecordSize));
    out.append(reinterpret_cast<const char*>(p.last.data()), p.last.size());
    out += p.moved;
    putLittle(out, static_cast<uint64_t>(p.entry.size()));
    out += p.entry;
    putLittle(out, planChecksum(bytesOf(out), out.size()));
    return out;
}

struct PlanFile {
    std::vector<DeletePlan> plans;
    uint64_t wholeLength = 0; // bytes up to the end of the last whole plan
    bool ours = false;        // a plan of this program, or what a crash left of one
};

// Whether a file that begins with `head` (its first bytes, at most the
// magic's length) is a plan: the magic, or nothing, a beginning of the
// magic or zero bytes only, which a plan whose writing stopped at once leaves.
bool beginsAsPlan(const unsigned char* head, size_t n) {
    n = std::min(n, sizeof kPlanMagic);
    return std::memcmp(head, kPlanMagic, n) == 0 ||
           std::all_of(head, head + n, [](unsigned char c) { return c == 0; });
}

PlanFile parsePlans(const std::string& bytes) {
    PlanFile f;
    const unsigned char* b = bytesOf(bytes);
    const size_t n = bytes.size();
    f.ours = beginsAsPlan(b, n);
    size_t at = 0;
    while (n - at >= kPlanHeaderSize + kPlanChecksumSize) {
        const unsigned char* p = b + at;
        if (std::memcmp(p, kPlanMagic, sizeof kPlanMagic) != 0) break;
        const uint32_t version = getLittle<uint32_t>(p + 8);
        if (version != kPlanVersion && version != kFirstPlanVersion) {
            if (at == 0) f.ours = false; // a later version's: not ours to judge
            break;
        }
        DeletePlan plan;
        plan.deleted = getLittle<uint64_t>(p + 12);
        plan.count = getLittle<uint64_t>(p + 20);
        const uint64_t moved = getLittle<uint64_t>(p + 28);
        if (plan.deleted < 1 || plan.deleted > plan.count || moved != plan.count - plan.deleted)
            break;
        if (moved > (n - at - kPlanHeaderSize - kPlanChecksumSize) / kResultRecordSize) break;
        const size_t movedEnd = kPlanHeaderSize + static_cast<size_t>(moved) * kResultRecordSize;
        size_t body = movedEnd;
        uint64_t entry = 0;
        if (version == kPlanVersion) {
            if (n - at < movedEnd + 8 + kPlanChecksumSize) break;
            entry = getLittle<uint64_t>(p + movedEnd);
            if (entry != 0 && entry != kDeletedEntrySize) break;
            body += 8 + static_cast<size_t>(entry);
            if (n - at < body + kPlanChecksumSize) break;
        }
        if (getLittle<uint64_t>(p + body) != planChecksum(p, body)) break;
        std::memcpy(plan.last.data(), p + 36, kResultRecordSize);
        plan.moved.assign(reinterpret_cast<const char*>(p + kPlanHeaderSize),
                          movedEnd - kPlanHeaderSize);
        plan.entry.assign(reinterpret_cast<const char*>(p + body - entry),
                          static_cast<size_t>(entry));
        f.plans.push_back(std::move(plan));
        at += body + kPlanChecksumSize;
        f.wholeLength = at;
    }
    return f;
}

FileStatus shortRead() {
    return FileStatus::inputOutputError();
}

// Reads exactly `count` bytes at `offset`.
FileStatus readExactly(SharedFile& file, uint64_t offset, void* out, size_t count) {
    size_t got = 0;
    FileStatus s = file.readAt(offset, out, count, got);
    if (!s.ok()) return s;
    return got == count ? FileStatus::success() : shortRead();
}

FileStatus readRecords(SharedFile& file, uint64_t first, uint64_t count, std::string& out) {
    out.assign(static_cast<size_t>(count) * kResultRecordSize, '\0');
    if (count == 0) return FileStatus::success();
    return readExactly(file, (first - 1) * kResultRecordSize, out.data(), out.size());
}

FileStatus recordCount(SharedFile& file, uint64_t& records) {
    uint64_t length = 0;
    const FileStatus s = file.size(length);
    records = length / kResultRecordSize;
    return s;
}

FileStatus writeAndSync(SharedFile& file, uint64_t offset, const std::string& bytes) {
    if (!bytes.empty()) {
        const FileStatus s = file.writeAt(offset, bytes.data(), bytes.size());
        if (!s.ok()) return s;
    }
    return file.sync();
}

FileStatus truncateAndSync(SharedFile& file, uint64_t length) {
    const FileStatus s = file.truncate(length);
    return s.ok() ? file.sync() : s;
}

// Steps 2 and 3 of a plan on the locked log.
StepFailure carryOut(SharedFile& log, const std::filesystem::path& logPath, const DeletePlan& plan,
                     const DeleteStepHook& afterStep) {
    FileStatus s = writeAndSync(log, (plan.deleted - 1) * kResultRecordSize, plan.moved);
    if (!s.ok()) return fail(s, logPath, "に書き込めません");
    if (afterStep) afterStep(DeleteStep::RecordsMoved);
    s = truncateAndSync(log, (plan.count - 1) * kResultRecordSize);
    if (!s.ok()) return fail(s, logPath, "を短くできません");
    if (afterStep) afterStep(DeleteStep::Truncated);
    return {};
}

FileStatus storeEntryOf(SharedFileSystem& files, const std::filesystem::path& logPath,
                        const DeletePlan& plan) {
    if (plan.entry.size() != kDeletedEntrySize) return FileStatus::success();
    DeletedEntryBytes entry{};
    std::memcpy(entry.data(), plan.entry.data(), entry.size());
    return storeDeletedEntry(files, logPath, entry);
}

FileStatus removePlan(SharedFileSystem& files, const std::filesystem::path& tempPath) {
    const FileStatus s = files.remove(tempPath);
    return s.fault == FileFault::NotFound ? FileStatus::success() : s;
}

// Where a plan may lie: under this program's own name, where a file that
// begins as a plan is one (whole, or cut short by a crash); or under the
// design's temporary name, where only a whole plan is this program's.
enum class PlanName { Own, Design };

bool headIsMagic(const unsigned char* head, size_t n) {
    return n == sizeof kPlanMagic && std::memcmp(head, kPlanMagic, n) == 0;
}

// Finishes the delete whose plan lies at `planPath`, or removes the plan
// when the delete never touched the log. A file there that is not this
// program's is named in `foreign` and left alone.
StepFailure finishPlanAt(SharedFileSystem& files, const std::filesystem::path& logPath,
                         SharedFile& log, const std::filesystem::path& planPath, PlanName name,
                         std::filesystem::path& foreign) {
    FileStatus s;
    std::unique_ptr<SharedFile> temp = files.open(planPath, SharedAccess::Existing, s);
    if (!temp) {
        if (s.fault == FileFault::NotFound) return {};
        return fail(s, planPath, "を開けません");
    }
    // Another program's file (a copy of a log, say) is not read through.
    unsigned char head[sizeof kPlanMagic] = {};
    size_t got = 0;
    s = temp->readAt(0, head, sizeof head, got);
    if (!s.ok()) return fail(s, planPath, "を読めません");
    if (name == PlanName::Own && isRestorePlan(std::string(reinterpret_cast<char*>(head), got))) {
        std::string bytes;
        s = readWholeFile(*temp, bytes);
        if (!s.ok()) return fail(s, planPath, "を読めません");
        temp->close();
        std::filesystem::path failedFile;
        s = finishRestorePlan(files, logPath, log, bytes, failedFile);
        if (!s.ok())
            return fail(s, failedFile, failedFile == logPath ? "を読めません" : "に書き込めません");
        s = removePlan(files, planPath);
        return s.ok() ? StepFailure{} : fail(s, planPath, "を消せません");
    }
    if (name == PlanName::Own ? !beginsAsPlan(head, got) : !headIsMagic(head, got)) {
        temp->close();
        foreign = planPath;
        return {};
    }
    std::string bytes;
    s = readWholeFile(*temp, bytes);
    if (!s.ok()) return fail(s, planPath, "を読めません");
    PlanFile plans = parsePlans(bytes);
    if (plans.plans.empty()) {
        temp->close();
        if (!plans.ours || name == PlanName::Design) {
            foreign = planPath;
            return {};
        }
        s = removePlan(files, planPath);
        return s.ok() ? StepFailure{} : fail(s, planPath, "を消せません");
    }

    DeletePlan plan = plans.plans.back();
    bool marked = false;
    for (;;) {
        uint64_t records = 0;
        s = recordCount(log, records);
        if (!s.ok()) return fail(s, logPath, "の長さを読めません");
        bool lastInPlace = false;
        if (records >= plan.count) {
            ResultBytes at{};
            s = readExactly(log, (plan.count - 1) * kResultRecordSize, at.data(), at.size());
            if (!s.ok()) return fail(s, logPath, "を読めません");
            lastInPlace = at == plan.last;
        }
        // Cut already: the delete was complete.
        if (!lastInPlace) break;
        // Records move again: programs that keep what they read must read
        // anew. The delete goes on without a mark, since leaving it half done
        // would show records twice; its shorter log tells them as well.
        if (!marked) moveChangeMark(files, logPath);
        marked = true;
        if (records == plan.count) {
            StepFailure f = carryOut(log, logPath, plan, {});
            if (f.failed()) return f;
            break;
        }
        // Records appended after the crash follow the old last record. The
        // moved records go down first; then a plan that deletes the old last
        // record (now a copy) moves the appended ones down after them.
        s = writeAndSync(log, (plan.deleted - 1) * kResultRecordSize, plan.moved);
        if (!s.ok()) return fail(s, logPath, "に書き込めません");
        DeletePlan next;
        next.deleted = plan.count;
        next.count = records;
        next.entry = plan.entry;
        s = readRecords(log, plan.count + 1, records - plan.count, next.moved);
        if (!s.ok()) return fail(s, logPath, "を読めません");
        std::memcpy(next.last.data(), next.moved.data() + next.moved.size() - kResultRecordSize,
                    kResultRecordSize);
        const std::string encoded = encodePlan(next);
        s = temp->truncate(plans.wholeLength);
        if (s.ok()) s = writeAndSync(*temp, plans.wholeLength, encoded);
        if (!s.ok()) return fail(s, planPath, "に書き込めません");
        plans.wholeLength += encoded.size();
        plan = std::move(next);
    }
    temp->close();
    // The delete took effect: its record goes to the file of deleted records
    // before the plan that holds it goes.
    s = storeEntryOf(files, logPath, plan);
    if (!s.ok()) return fail(s, deletedRecordsPath(logPath), "に書き込めません");
    s = removePlan(files, planPath);
    return s.ok() ? StepFailure{} : fail(s, planPath, "を消せません");
}

StepFailure finishUnder(SharedFileSystem& files, const std::filesystem::path& logPath,
                        SharedFile& log, std::filesystem::path& foreign) {
    foreign.clear();
    std::filesystem::path other;
    StepFailure f =
        finishPlanAt(files, logPath, log, deletePlanPath(logPath), PlanName::Own, other);
    if (!f.failed())
        f = finishPlanAt(files, logPath, log, resultsTempPath(logPath), PlanName::Design, foreign);
    if (foreign.empty()) foreign = other;
    return f;
}

// Whether a plan of this program lies at `planPath`, looked at without the
// log's lock: a load then takes the exclusive lock to finish it. What
// another program left there costs a load one open and one small read.
bool planAwaits(SharedFileSystem& files, const std::filesystem::path& planPath, PlanName name) {
    FileStatus s;
    std::unique_ptr<SharedFile> file = files.open(planPath, SharedAccess::Existing, s);
    if (!file) return false;
    unsigned char head[sizeof kPlanMagic] = {};
    size_t got = 0;
    if (!file->readAt(0, head, sizeof head, got).ok()) return false;
    if (name == PlanName::Own)
        return beginsAsPlan(head, got) ||
               isRestorePlan(std::string(reinterpret_cast<char*>(head), got));
    if (!headIsMagic(head, got)) return false;
    std::string bytes;
    return readWholeFile(*file, bytes).ok() && !parsePlans(bytes).plans.empty();
}

// Runs `once` until it ends otherwise than on another PC's lock, waiting a
// second between tries with the screens responsive.
template <class Once> auto retryWhileShared(const LogAccess& log, Once once) {
    for (;;) {
        auto outcome = once();
        if (!outcome.sharing) return outcome;
        waitResponsive(log.clock, log.events, kSharingWaitSeconds);
    }
}

struct Attempt {
    bool sharing = false; // the log was held by another PC: try again
    LogEditStatus status;
};

Attempt failed(const std::string& what, const StepFailure& f) {
    if (f.status.fault == FileFault::Sharing) return {true, {}};
    return {false, {EditResult::Failed, what + describe(f)}};
}

Attempt changed() {
    return {false, {EditResult::RecordChanged, {}}};
}

const char* const kCorrectFailed = "記録を変更できませんでした。\r\n";
const char* const kDeleteFailed = "記録を消去できませんでした。\r\n";

// Opens and locks the log, finishes an unfinished delete and checks that
// record `number` is still `chosen`. Null with the attempt's outcome set
// otherwise.
std::unique_ptr<SharedFile> openChosen(const LogAccess& log, uint64_t number,
                                       const ResultBytes& chosen, const char* what,
                                       uint64_t& records, std::filesystem::path& foreign,
                                       Attempt& outcome) {
    FileStatus s;
    std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Write, s);
    if (!file) {
        outcome = failed(what, fail(s, log.path, "を開けません"));
        return nullptr;
    }
    s = file->lockExclusive();
    if (!s.ok()) {
        outcome = failed(what, fail(s, log.path, "をロックできません"));
        return nullptr;
    }
    const StepFailure f = finishUnder(log.files, log.path, *file, foreign);
    if (f.failed()) {
        outcome = failed(what, f);
        return nullptr;
    }
    s = recordCount(*file, records);
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

FileStatus unlockAndClose(SharedFile& file) {
    const FileStatus s = file.unlock();
    const FileStatus c = file.close();
    return s.ok() ? c : s;
}

} // namespace

std::filesystem::path deletePlanPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / kDeletePlanName;
}

std::filesystem::path resultsTempPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / kResultsTempName;
}

FileStatus finishUnfinishedDelete(SharedFileSystem& files, const std::filesystem::path& logPath,
                                  SharedFile& locked, std::filesystem::path& foreign) {
    return finishUnder(files, logPath, locked, foreign).status;
}

FileStatus finishDeleteBeforeRead(const LogAccess& log, SharedFile& file) {
    if (!planAwaits(log.files, deletePlanPath(log.path), PlanName::Own) &&
        !planAwaits(log.files, resultsTempPath(log.path), PlanName::Design))
        return {};
    FileStatus s = file.lockExclusive();
    if (s.fault == FileFault::Sharing) return s;
    if (!s.ok()) return {}; // read-only: read the log as it stands
    std::filesystem::path foreign;
    finishUnder(log.files, log.path, file, foreign);
    file.unlock();
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
        const auto* head = bytesOf(bytes);
        const size_t n = std::min(bytes.size(), sizeof kPlanMagic);
        // A restore's plan shares the delete's name; the next open finishes or drops it.
        if (name == PlanName::Own && isRestorePlan(bytes.substr(0, n)))
            return PlanFileState::Unfinished;
        if (name == PlanName::Own ? !beginsAsPlan(head, n) : !headIsMagic(head, n))
            return PlanFileState::Foreign;
        const PlanFile plans = parsePlans(bytes);
        if (!plans.plans.empty()) return PlanFileState::Unfinished;
        return name == PlanName::Own && plans.ours ? PlanFileState::CutShort
                                                   : PlanFileState::Foreign;
    };
    return {state(deletePlanPath(logPath), PlanName::Own),
            state(resultsTempPath(logPath), PlanName::Design)};
}

LogStatus readResultRecord(const LogAccess& log, uint64_t number, ResultBytes& bytes,
                           bool& exists) {
    exists = false;
    const Attempt a = retryWhileShared(log, [&]() -> Attempt {
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
    const FileFault fault = a.status.ok() ? FileFault::None : FileFault::Other;
    return {fault, a.status.message};
}

LogEditStatus correctResultRecord(const LogAccess& log, uint64_t number, const ResultBytes& chosen,
                                  const ResultBytes& corrected) {
    return retryWhileShared(log,
                            [&]() -> Attempt {
                                Attempt outcome;
                                uint64_t records = 0;
                                std::filesystem::path foreign;
                                std::unique_ptr<SharedFile> file = openChosen(
                                    log, number, chosen, kCorrectFailed, records, foreign, outcome);
                                if (!file) return outcome;
                                FileStatus s = moveChangeMark(log.files, log.path);
                                if (!s.ok())
                                    return failed(kCorrectFailed, fail(s, changeMarkPath(log.path),
                                                                       "に書き込めません"));
                                const uint64_t offset = (number - 1) * kResultRecordSize;
                                s = file->writeAt(offset, corrected.data(), corrected.size());
                                const char* action = "に書き込めません";
                                if (s.ok()) {
                                    s = file->sync();
                                    action = "をディスクに書き込めません";
                                }
                                if (!s.ok()) {
                                    // Put the record back as chosen where the storage still lets
                                    // us.
                                    if (file->writeAt(offset, chosen.data(), chosen.size()).ok())
                                        file->sync();
                                    return {false,
                                            {EditResult::Failed,
                                             kCorrectFailed + describe(fail(s, log.path, action))}};
                                }
                                // On disk: closing can no longer lose it.
                                unlockAndClose(*file);
                                return {};
                            })
        .status;
}

LogEditStatus deleteResultRecord(const LogAccess& log, uint64_t number, const ResultBytes& chosen,
                                 const DeleteStepHook& afterStep) {
    return retryWhileShared(
               log,
               [&]() -> Attempt {
                   Attempt outcome;
                   uint64_t records = 0;
                   std::filesystem::path foreign;
                   std::unique_ptr<SharedFile> file =
                       openChosen(log, number, chosen, kDeleteFailed, records, foreign, outcome);
                   if (!file) return outcome;
                   const std::filesystem::path planPath = deletePlanPath(log.path);
                   if (!foreign.empty())
                       return {false,
                               {EditResult::Failed,
                                std::string(kDeleteFailed) + "「" + displayPath(foreign) +
                                    "」は、ほかのプログラム（前の版のこのプログラムなど）が"
                                    "残したファイルです。消去のとちゅうで止まった成績ファイルの"
                                    "写しかもしれません。中を確かめて、いらなければ消してから、"
                                    "もう一度消去して下さい。"}};

                   FileStatus s = moveChangeMark(log.files, log.path);
                   if (!s.ok())
                       return failed(kDeleteFailed,
                                     fail(s, changeMarkPath(log.path), "に書き込めません"));

                   // 1. The plan, on disk before the log is touched.
                   DeletePlan plan;
                   plan.deleted = number;
                   plan.count = records;
                   s = readRecords(*file, number + 1, records - number, plan.moved);
                   if (!s.ok()) return failed(kDeleteFailed, fail(s, log.path, "を読めません"));
                   {
                       const LocalTime now = log.clock.now();
                       DeletedRecord entry;
                       entry.record = chosen;
                       entry.deletedDate = static_cast<double>(dayNumber(now.date));
                       entry.deletedTime = dayFraction(now.secondsOfDay);
                       entry.number = number;
                       const DeletedEntryBytes bytes = encodeDeletedEntry(entry);
                       plan.entry.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
                   }
                   if (plan.moved.empty())
                       plan.last = chosen;
                   else
                       std::memcpy(plan.last.data(),
                                   plan.moved.data() + plan.moved.size() - kResultRecordSize,
                                   kResultRecordSize);
                   {
                       std::unique_ptr<SharedFile> temp =
                           log.files.open(planPath, SharedAccess::Write, s);
                       if (temp) s = temp->truncate(0);
                       if (s.ok()) s = writeAndSync(*temp, 0, encodePlan(plan));
                       if (s.ok()) s = temp->close();
                       if (s.ok()) s = log.files.syncFolder(planPath.parent_path());
                       if (!s.ok()) {
                           temp.reset();
                           removePlan(log.files, planPath);
                           return failed(kDeleteFailed, fail(s, planPath, "に書き込めません"));
                       }
                   }
                   if (afterStep) afterStep(DeleteStep::PlanWritten);

                   // 2 and 3. A failure here is finished from the plan at once, or
                   // else by the next open of the log.
                   StepFailure f = carryOut(*file, log.path, plan, afterStep);
                   if (!f.failed()) {
                       // The log is shorter on disk: the delete has taken effect.
                       s = storeEntryOf(log.files, log.path, plan);
                       if (!s.ok()) {
                           // Tried once more through the plan; the plan keeps the
                           // record until the file of deleted records takes it.
                           f = finishUnder(log.files, log.path, *file, foreign);
                           unlockAndClose(*file);
                           if (!f.failed()) return {};
                           return {false,
                                   {EditResult::Done,
                                    "記録を消去しました。ただし、" + describe(f) +
                                        "\r\n消去した記録は、次に成績ファイルを開くときに書き込み"
                                        "ます。"}};
                       }
                       if (afterStep) afterStep(DeleteStep::EntryStored);
                       s = log.files.remove(planPath);
                       if (afterStep && s.ok()) afterStep(DeleteStep::PlanRemoved);
                   } else if (!finishUnder(log.files, log.path, *file, foreign).failed()) {
                       f = {};
                   }
                   if (f.failed())
                       return {false,
                               {EditResult::Failed,
                                kDeleteFailed + describe(f) +
                                    "\r\n消去は、次に成績ファイルを開くときに仕上げます。"}};
                   // On disk. A plan that could not be removed is removed by the
                   // next open, which finds the delete complete.
                   unlockAndClose(*file);
                   return {};
               })
        .status;
}

} // namespace kestrel
