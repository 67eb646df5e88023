#include "results/DeletedRecords.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/Utf8Path.h"
#include "results/PlanBytes.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr unsigned char kEntryMagic[4] = {'K', 'D', 'E', 'L'};
constexpr uint32_t kEntryVersion = 1;
// An entry: magic, version, the record, 4 zero bytes, deleted date and
// time, number; then what a restore writes in one go: restored date and
// time, the new number, and the restored mark.
constexpr size_t kRecordAt = 8;
constexpr size_t kDeletedAt = 56;
constexpr size_t kNumberAt = 72;
constexpr size_t kRestoreAt = 80; // the identity of an entry is what lies before
constexpr size_t kRestoredAsAt = 96;
constexpr size_t kStateAt = 104;

// A restore's plan: magic, version, the record number planned, the entry's
// offset in the file, the entry as it is to be marked, and a checksum.
constexpr unsigned char kRestoreMagic[8] = {'K', 'S', 'T', 'R', 'L', 'R', 'S', 'T'};
// The first bytes that tell a restore's plan from a delete's ("KSTRLD…").
constexpr size_t kRestoreMagicDistinct = 6;
constexpr uint32_t kRestoreVersion = 1;
constexpr size_t kRestorePlanBody = 8 + 4 + 8 + 8 + kDeletedEntrySize;
constexpr size_t kRestorePlanSize = kRestorePlanBody + kPlanChecksumSize;

bool sameIdentity(const unsigned char* a, const unsigned char* b) {
    return std::memcmp(a, b, kRestoreAt) == 0;
}

// Where the entry like `identity` stands, preferring `hint`; nothing when
// the file holds none.
std::optional<uint64_t> findEntry(const std::string& bytes, const unsigned char* identity,
                                  uint64_t hint) {
    const unsigned char* b = bytesOf(bytes);
    if (hint % kDeletedEntrySize == 0 && hint + kDeletedEntrySize <= bytes.size() &&
        sameIdentity(b + hint, identity))
        return hint;
    for (size_t at = 0; at + kDeletedEntrySize <= bytes.size(); at += kDeletedEntrySize)
        if (sameIdentity(b + at, identity)) return at;
    return std::nullopt;
}

// Writes the restore part of `entry` over the entry like it in the file,
// or adds the whole entry when the file has lost it.
FileStatus markRestored(SharedFileSystem& files, const std::filesystem::path& logPath,
                        const DeletedEntryBytes& entry, uint64_t hint) {
    const std::filesystem::path path = deletedRecordsPath(logPath);
    std::string bytes;
    FileStatus s = readFileIfExists(files, path, bytes);
    if (!s.ok()) return s;
    const std::optional<uint64_t> at = findEntry(bytes, entry.data(), hint);
    if (!at) return storeDeletedEntry(files, logPath, entry);
    std::unique_ptr<SharedFile> file = files.open(path, SharedAccess::Existing, s);
    if (!file) return s;
    s = writeAndSync(*file, *at + kRestoreAt, entry.data() + kRestoreAt,
                     kDeletedEntrySize - kRestoreAt);
    const FileStatus c = file->close();
    return s.ok() ? c : s;
}

struct RestorePlan {
    uint64_t position = 0; // the record number the record gets
    uint64_t offset = 0;   // of the entry in the file
    DeletedEntryBytes entry{};
};

std::string encodeRestorePlan(const RestorePlan& p) {
    PlanWriter out(kRestoreMagic, kRestoreVersion);
    out.put(p.position);
    out.put(p.offset);
    out.append(p.entry.data(), p.entry.size());
    return out.sealed();
}

std::optional<RestorePlan> parseRestorePlan(const std::string& bytes) {
    if (bytes.size() < kRestorePlanSize) return std::nullopt;
    const unsigned char* b = bytesOf(bytes);
    if (std::memcmp(b, kRestoreMagic, sizeof kRestoreMagic) != 0 ||
        le::read<uint32_t>(b + 8) != kRestoreVersion || !planChecksumHolds(b, kRestorePlanBody))
        return std::nullopt;
    RestorePlan p;
    p.position = le::read<uint64_t>(b + 12);
    p.offset = le::read<uint64_t>(b + 20);
    std::memcpy(p.entry.data(), b + 28, kDeletedEntrySize);
    if (p.position < 1) return std::nullopt;
    return p;
}

// Whether the plan's record stands at its planned number in the locked log.
FileStatus recordInPlace(SharedFile& log, const RestorePlan& plan, bool& inPlace) {
    inPlace = false;
    uint64_t length = 0;
    FileStatus s = log.size(length);
    if (!s.ok() || length / kResultRecordSize < plan.position) return s;
    ResultBytes at{};
    size_t got = 0;
    s = log.readAt((plan.position - 1) * kResultRecordSize, at.data(), at.size(), got);
    if (!s.ok()) return s;
    inPlace = got == at.size() &&
              std::memcmp(at.data(), plan.entry.data() + kRecordAt, kResultRecordSize) == 0;
    return s;
}

const char* const kRestoreFailed = "記録を元に戻せませんでした。\r\n";

// A restore through its plan (results/Journal.h): the record goes after
// the log's last whole record, as an append puts it, and its entry is
// marked restored.
class Restore : public PlannedChange {
public:
    Restore(const LogAccess& log, RestorePlan plan, const RestoreStepHook& afterStep)
        : m_log(log), m_plan(std::move(plan)), m_afterStep(afterStep) {}
    std::string plan() const override { return encodeRestorePlan(m_plan); }
    StepFailure apply(SharedFile& log) override {
        const FileStatus s = writeAndSync(log, (m_plan.position - 1) * kResultRecordSize,
                                          m_plan.entry.data() + kRecordAt, kResultRecordSize);
        return s.ok() ? StepFailure{} : fail(s, m_log.path, "に書き込めません");
    }
    StepFailure commit() override {
        const FileStatus s = markRestored(m_log.files, m_log.path, m_plan.entry, m_plan.offset);
        return s.ok() ? StepFailure{} : fail(s, deletedRecordsPath(m_log.path), "に書き込めません");
    }
    void after(JournalStep step) override {
        if (!m_afterStep) return;
        switch (step) {
        case JournalStep::PlanWritten:
            return m_afterStep(RestoreStep::PlanWritten);
        case JournalStep::Applied:
            return m_afterStep(RestoreStep::RecordAppended);
        case JournalStep::Committed:
            return m_afterStep(RestoreStep::EntryMarked);
        case JournalStep::PlanRemoved:
            return m_afterStep(RestoreStep::PlanRemoved);
        }
    }

private:
    const LogAccess& m_log;
    RestorePlan m_plan;
    const RestoreStepHook& m_afterStep;
};

// The entry as a restore that gives the record number `as` now marks it.
DeletedEntryBytes markedEntry(const DeletedRecord& chosen, const LocalTime& now, uint64_t as) {
    DeletedRecord marked = chosen;
    marked.restored = true;
    marked.restoredDate = static_cast<double>(dayNumber(now.date));
    marked.restoredTime = dayFraction(now.secondsOfDay);
    marked.restoredAs = as;
    return encodeDeletedEntry(marked);
}

SharedTry<LogEditStatus> failedWith(const StepFailure& f) {
    if (f.status.fault == FileFault::Sharing) return heldElsewhere<LogEditStatus>();
    return {false, {EditResult::Failed, kRestoreFailed + f.text()}};
}

} // namespace

std::filesystem::path deletedRecordsPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / pathFromUtf8(kDeletedRecordsName);
}

DeletedEntryBytes encodeDeletedEntry(const DeletedRecord& e) {
    DeletedEntryBytes b{};
    std::memcpy(b.data(), kEntryMagic, sizeof kEntryMagic);
    le::write(b.data() + 4, kEntryVersion);
    std::memcpy(b.data() + kRecordAt, e.record.data(), kResultRecordSize);
    le::writeDouble(b.data() + kDeletedAt, e.deletedDate);
    le::writeDouble(b.data() + kDeletedAt + 8, e.deletedTime);
    le::write(b.data() + kNumberAt, e.number);
    if (e.restored) {
        le::writeDouble(b.data() + kRestoreAt, e.restoredDate);
        le::writeDouble(b.data() + kRestoreAt + 8, e.restoredTime);
        le::write(b.data() + kRestoredAsAt, e.restoredAs);
        b[kStateAt] = 1;
    }
    return b;
}

std::vector<DeletedRecord> parseDeletedRecords(const std::string& bytes) {
    std::vector<DeletedRecord> out;
    const unsigned char* b = bytesOf(bytes);
    for (size_t at = 0; at + kDeletedEntrySize <= bytes.size(); at += kDeletedEntrySize) {
        const unsigned char* p = b + at;
        if (std::memcmp(p, kEntryMagic, sizeof kEntryMagic) != 0 ||
            le::read<uint32_t>(p + 4) != kEntryVersion)
            continue;
        DeletedRecord e;
        e.offset = at;
        std::memcpy(e.record.data(), p + kRecordAt, kResultRecordSize);
        e.deletedDate = le::readDouble(p + kDeletedAt);
        e.deletedTime = le::readDouble(p + kDeletedAt + 8);
        e.number = le::read<uint64_t>(p + kNumberAt);
        e.restored = p[kStateAt] == 1;
        if (e.restored) {
            e.restoredDate = le::readDouble(p + kRestoreAt);
            e.restoredTime = le::readDouble(p + kRestoreAt + 8);
            e.restoredAs = le::read<uint64_t>(p + kRestoredAsAt);
        }
        out.push_back(e);
    }
    return out;
}

FileStatus storeDeletedEntry(SharedFileSystem& files, const std::filesystem::path& logPath,
                             const DeletedEntryBytes& entry) {
    const std::filesystem::path path = deletedRecordsPath(logPath);
    std::string bytes;
    FileStatus s = readFileIfExists(files, path, bytes);
    if (!s.ok()) return s;
    if (findEntry(bytes, entry.data(), 0)) return FileStatus::success();
    const bool created = bytes.empty();
    std::unique_ptr<SharedFile> file = files.open(path, SharedAccess::Write, s);
    if (!file) return s;
    // An entry cut short at the end is what a crash left of one being
    // stored (the writers hold the log's lock): it is written over.
    const uint64_t at = bytes.size() / kDeletedEntrySize * kDeletedEntrySize;
    s = writeAndSync(*file, at, entry.data(), entry.size());
    const FileStatus c = file->close();
    if (s.ok()) s = c;
    if (s.ok() && created) s = files.syncFolder(path.parent_path());
    return s;
}

bool isRestorePlan(const std::string& head) {
    const size_t n = std::min(head.size(), sizeof kRestoreMagic);
    return n >= kRestoreMagicDistinct && std::memcmp(head.data(), kRestoreMagic, n) == 0;
}

StepFailure finishRestorePlan(SharedFileSystem& files, const std::filesystem::path& logPath,
                              SharedFile& locked, const std::string& planBytes, bool& restored) {
    // A plan cut short: it is on disk before the log is touched, so nothing
    // was appended.
    restored = false;
    const std::optional<RestorePlan> plan = parseRestorePlan(planBytes);
    if (!plan) return {};
    FileStatus s = recordInPlace(locked, *plan, restored);
    if (!s.ok()) return fail(s, logPath, "を読めません");
    if (!restored) return {};
    s = markRestored(files, logPath, plan->entry, plan->offset);
    return s.ok() ? StepFailure{} : fail(s, deletedRecordsPath(logPath), "に書き込めません");
}

LogStatus readDeletedRecords(const LogAccess& log, std::vector<DeletedRecord>& out) {
    const char* const what = "消去した記録を読めませんでした。\r\n";
    return retryWhileShared(log, [&]() -> SharedTry<LogStatus> {
        FileStatus s;
        std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Read, s);
        if (!file)
            return {s.fault == FileFault::Sharing,
                    {s.fault, what + fileFailureText(log.path, s, "を開けません")}};
        std::filesystem::path failedFile = log.path;
        s = finishDeleteBeforeRead(log, *file);
        if (s.ok()) s = file->lockShared();
        if (s.ok()) {
            std::string bytes;
            s = readFileIfExists(log.files, deletedRecordsPath(log.path), bytes);
            if (!s.ok()) failedFile = deletedRecordsPath(log.path);
            if (s.ok()) out = parseDeletedRecords(bytes);
        }
        (void)file->close();
        if (s.ok()) return {};
        return {s.fault == FileFault::Sharing,
                {s.fault, what + fileFailureText(failedFile, s, "を読めません")}};
    });
}

LogEditStatus restoreDeletedRecord(const LogAccess& log, const DeletedRecord& chosen,
                                   uint64_t& restoredAs, const RestoreStepHook& afterStep) {
    restoredAs = 0;
    const std::filesystem::path listPath = deletedRecordsPath(log.path);
    return retryWhileShared(log, [&]() -> SharedTry<LogEditStatus> {
        StepFailure f;
        std::filesystem::path foreign;
        std::unique_ptr<SharedFile> file = openForChange(log, f, foreign);
        if (!file) return failedWith(f);
        if (!foreign.empty())
            return {false,
                    {EditResult::Failed, kRestoreFailed + foreignFileText(foreign, "元に戻")}};

        // The entry must still be the one chosen, and not put back yet.
        std::string bytes;
        FileStatus s = readFileIfExists(log.files, listPath, bytes);
        if (!s.ok()) return failedWith(fail(s, listPath, "を読めません"));
        const DeletedEntryBytes identity = encodeDeletedEntry(chosen);
        const std::optional<uint64_t> at = findEntry(bytes, identity.data(), chosen.offset);
        if (!at || bytesOf(bytes)[*at + kStateAt] == 1)
            return {false, {EditResult::RecordChanged, {}}};

        uint64_t records = 0;
        s = recordCount(*file, records);
        if (!s.ok()) return failedWith(fail(s, log.path, "の長さを読めません"));
        Restore restore(log, {records + 1, *at, markedEntry(chosen, log.clock.now(), records + 1)},
                        afterStep);
        const JournalOutcome o = runPlannedChange(log.files, log.path, *file, restore);
        // Appended but not yet marked is left to the next open, and said so.
        if (o.ok() || (o.tookEffect && !o.unfinished.failed())) {
            restoredAs = records + 1;
            (void)unlockAndClose(*file);
            return {};
        }
        if (o.failedAt == JournalOutcome::Step::Plan) return failedWith(o.failure);
        const char* const later =
            o.unfinished.failed() ? "\r\n次に成績ファイルを開くときに仕上げます。" : "";
        return {false, {EditResult::Failed, kRestoreFailed + o.failure.text() + later}};
    });
}

} // namespace kestrel
