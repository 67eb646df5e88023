#include "results/DeletedRecords.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "results/PlanBytes.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr double kSharingWaitSeconds = 1.0;
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
constexpr size_t kRestorePlanSize = kRestorePlanBody + 8;

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

FileStatus writeSynced(SharedFile& file, uint64_t offset, const unsigned char* bytes,
                       size_t count) {
    const FileStatus s = file.writeAt(offset, bytes, count);
    return s.ok() ? file.sync() : s;
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
    s = writeSynced(*file, *at + kRestoreAt, entry.data() + kRestoreAt,
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
    std::string out(kRestorePlanSize, '\0');
    auto* b = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(b, kRestoreMagic, sizeof kRestoreMagic);
    le::write(b + 8, kRestoreVersion);
    le::write(b + 12, p.position);
    le::write(b + 20, p.offset);
    std::memcpy(b + 28, p.entry.data(), kDeletedEntrySize);
    le::write(b + kRestorePlanBody, planChecksum(b, kRestorePlanBody));
    return out;
}

std::optional<RestorePlan> parseRestorePlan(const std::string& bytes) {
    if (bytes.size() < kRestorePlanSize) return std::nullopt;
    const unsigned char* b = bytesOf(bytes);
    if (std::memcmp(b, kRestoreMagic, sizeof kRestoreMagic) != 0 ||
        le::read<uint32_t>(b + 8) != kRestoreVersion ||
        le::read<uint64_t>(b + kRestorePlanBody) != planChecksum(b, kRestorePlanBody))
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

FileStatus finishRestore(SharedFileSystem& files, const std::filesystem::path& logPath,
                         SharedFile& log, const RestorePlan& plan, bool& restored,
                         std::filesystem::path& failedFile) {
    failedFile = logPath;
    FileStatus s = recordInPlace(log, plan, restored);
    if (!s.ok() || !restored) return s;
    failedFile = deletedRecordsPath(logPath);
    return markRestored(files, logPath, plan.entry, plan.offset);
}

std::string describe(const FileStatus& s, const std::filesystem::path& file, const char* action) {
    return "「" + displayPath(file) + "」" + action + "（" + s.description + "）";
}

const char* const kRestoreFailed = "記録を元に戻せませんでした。\r\n";

struct Attempt {
    bool sharing = false;
    LogEditStatus status;
};

Attempt failedWith(const FileStatus& s, const std::filesystem::path& file, const char* action) {
    if (s.fault == FileFault::Sharing) return {true, {}};
    return {false, {EditResult::Failed, kRestoreFailed + describe(s, file, action)}};
}

} // namespace

std::filesystem::path deletedRecordsPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / kDeletedRecordsName;
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
    s = writeSynced(*file, at, entry.data(), entry.size());
    const FileStatus c = file->close();
    if (s.ok()) s = c;
    if (s.ok() && created) s = files.syncFolder(path.parent_path());
    return s;
}

bool isRestorePlan(const std::string& head) {
    const size_t n = std::min(head.size(), sizeof kRestoreMagic);
    return n >= kRestoreMagicDistinct && std::memcmp(head.data(), kRestoreMagic, n) == 0;
}

FileStatus finishRestorePlan(SharedFileSystem& files, const std::filesystem::path& logPath,
                             SharedFile& locked, const std::string& planBytes,
                             std::filesystem::path& failedFile) {
    // A plan cut short: it is on disk before the log is touched, so nothing
    // was appended.
    const std::optional<RestorePlan> plan = parseRestorePlan(planBytes);
    if (!plan) return FileStatus::success();
    bool restored = false;
    return finishRestore(files, logPath, locked, *plan, restored, failedFile);
}

LogStatus readDeletedRecords(const LogAccess& log, std::vector<DeletedRecord>& out) {
    const char* const what = "消去した記録を読めませんでした。\r\n";
    for (;;) {
        FileStatus s;
        std::filesystem::path failedFile = log.path;
        const char* action = "を読めません";
        std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Read, s);
        if (file) {
            s = finishDeleteBeforeRead(log, *file);
            if (s.ok()) s = file->lockShared();
            if (s.ok()) {
                std::string bytes;
                s = readFileIfExists(log.files, deletedRecordsPath(log.path), bytes);
                if (!s.ok()) failedFile = deletedRecordsPath(log.path);
                if (s.ok()) out = parseDeletedRecords(bytes);
            }
            file->close();
        } else {
            action = "を開けません";
        }
        if (s.ok()) return {};
        if (s.fault == FileFault::Sharing) {
            waitResponsive(log.clock, log.events, kSharingWaitSeconds);
            continue;
        }
        return {s.fault, what + describe(s, failedFile, action)};
    }
}

LogEditStatus restoreDeletedRecord(const LogAccess& log, const DeletedRecord& chosen,
                                   uint64_t& restoredAs, const RestoreStepHook& afterStep) {
    restoredAs = 0;
    const std::filesystem::path planPath = deletePlanPath(log.path);
    const std::filesystem::path listPath = deletedRecordsPath(log.path);
    for (;;) {
        const Attempt a = [&]() -> Attempt {
            FileStatus s;
            std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Write, s);
            if (!file) return failedWith(s, log.path, "を開けません");
            s = file->lockExclusive();
            if (!s.ok()) return failedWith(s, log.path, "をロックできません");
            std::filesystem::path foreign;
            s = finishUnfinishedDelete(log.files, log.path, *file, foreign);
            if (!s.ok()) return failedWith(s, log.path, "を仕上げられません");
            if (!foreign.empty())
                return {false,
                        {EditResult::Failed,
                         std::string(kRestoreFailed) + "「" + displayPath(foreign) +
                             "」は、ほかのプログラム（前の版のこのプログラムなど）が残したファイル"
                             "です。中を確かめて、いらなければ消してから、もう一度元に戻して下さい"
                             "。"}};

            // The entry must still be the one chosen, and not put back yet.
            std::string bytes;
            s = readFileIfExists(log.files, listPath, bytes);
            if (!s.ok()) return failedWith(s, listPath, "を読めません");
            const DeletedEntryBytes identity = encodeDeletedEntry(chosen);
            const std::optional<uint64_t> at = findEntry(bytes, identity.data(), chosen.offset);
            if (!at || bytesOf(bytes)[*at + kStateAt] == 1)
                return {false, {EditResult::RecordChanged, {}}};

            uint64_t length = 0;
            s = file->size(length);
            if (!s.ok()) return failedWith(s, log.path, "の長さを読めません");
            const uint64_t records = length / kResultRecordSize;
            const LocalTime now = log.clock.now();
            DeletedRecord marked = chosen;
            marked.restored = true;
            marked.restoredDate = static_cast<double>(dayNumber(now.date));
            marked.restoredTime = dayFraction(now.secondsOfDay);
            marked.restoredAs = records + 1;
            const RestorePlan plan{records + 1, *at, encodeDeletedEntry(marked)};

            // 1. The plan, on disk before the log is touched.
            {
                std::unique_ptr<SharedFile> temp = log.files.open(planPath, SharedAccess::Write, s);
                if (temp) s = temp->truncate(0);
                const std::string encoded = encodeRestorePlan(plan);
                if (s.ok()) s = temp->writeAt(0, encoded.data(), encoded.size());
                if (s.ok()) s = temp->sync();
                if (s.ok()) s = temp->close();
                if (s.ok()) s = log.files.syncFolder(planPath.parent_path());
                if (!s.ok()) {
                    temp.reset();
                    log.files.remove(planPath);
                    return failedWith(s, planPath, "に書き込めません");
                }
            }
            if (afterStep) afterStep(RestoreStep::PlanWritten);

            // 2. The record, after the last whole record as an append puts it.
            s = writeSynced(*file, records * kResultRecordSize, plan.entry.data() + kRecordAt,
                            kResultRecordSize);
            const char* action = "に書き込めません";
            std::filesystem::path failedFile = log.path;
            if (s.ok()) {
                if (afterStep) afterStep(RestoreStep::RecordAppended);
                // 3. The mark.
                s = markRestored(log.files, log.path, plan.entry, *at);
                failedFile = listPath;
                if (s.ok() && afterStep) afterStep(RestoreStep::EntryMarked);
            }
            if (!s.ok()) {
                // What the log holds decides, as the next open would decide.
                bool restored = false;
                std::filesystem::path unused;
                const FileStatus f =
                    finishRestore(log.files, log.path, *file, plan, restored, unused);
                if (f.ok()) {
                    log.files.remove(planPath);
                    if (restored) {
                        restoredAs = plan.position;
                        file->unlock();
                        file->close();
                        return {};
                    }
                    return {false,
                            {EditResult::Failed, kRestoreFailed + describe(s, failedFile, action)}};
                }
                return {false,
                        {EditResult::Failed, kRestoreFailed + describe(s, failedFile, action) +
                                                 "\r\n次に成績ファイルを開くときに仕上げます。"}};
            }
            // 4. A plan that cannot be removed is removed by the next open,
            // which finds the restore complete.
            if (log.files.remove(planPath).ok() && afterStep) afterStep(RestoreStep::PlanRemoved);
            restoredAs = plan.position;
            file->unlock();
            file->close();
            return {};
        }();
        if (!a.sharing) return a.status;
        waitResponsive(log.clock, log.events, kSharingWaitSeconds);
    }
}

} // namespace kestrel
