#include "results/DeletePlan.h"

#include <algorithm>
#include <cstring>

#include "results/ChangeMark.h"
#include "results/DeletedRecords.h"
#include "results/PlanBytes.h"

namespace kestrel {
namespace {

// A plan: magic, version, deleted position, old record count, number of
// moved records, the old last record, the moved records, (from version 2)
// the length and bytes of the entry for the file of deleted records, and a
// checksum of all that. A crash while the plan is written leaves it without
// a valid checksum. Earlier copies take a version-2 plan for another
// program's file and leave it to this one, so that none finishes a delete
// without its entry.
constexpr unsigned char kPlanMagic[8] = {'K', 'S', 'T', 'R', 'L', 'D', 'E', 'L'};
constexpr uint32_t kPlanVersion = 2;
constexpr uint32_t kFirstPlanVersion = 1; // without the entry
constexpr size_t kPlanHeaderSize = 8 + 4 + 8 + 8 + 8 + kResultRecordSize;

FileStatus readRecords(SharedFile& file, uint64_t first, uint64_t count, std::string& out) {
    out.assign(static_cast<size_t>(count) * kResultRecordSize, '\0');
    if (count == 0) return FileStatus::success();
    return readExactly(file, (first - 1) * kResultRecordSize, out.data(), out.size());
}

} // namespace

std::string encodeDeletePlan(const DeletePlan& p) {
    PlanWriter out(kPlanMagic, kPlanVersion);
    out.put(p.deleted);
    out.put(p.count);
    out.put(static_cast<uint64_t>(p.moved.size() / kResultRecordSize));
    out.append(p.last.data(), p.last.size());
    out.append(p.moved);
    out.put(static_cast<uint64_t>(p.entry.size()));
    out.append(p.entry);
    return out.sealed();
}

bool beginsAsDeletePlan(const std::string& head) {
    const size_t n = std::min(head.size(), sizeof kPlanMagic);
    return std::memcmp(head.data(), kPlanMagic, n) == 0 ||
           std::all_of(head.begin(), head.begin() + static_cast<ptrdiff_t>(n),
                       [](char c) { return c == 0; });
}

bool isDeletePlanMagic(const std::string& head) {
    return head.size() >= sizeof kPlanMagic &&
           std::memcmp(head.data(), kPlanMagic, sizeof kPlanMagic) == 0;
}

DeletePlans parseDeletePlans(const std::string& bytes) {
    DeletePlans f;
    const unsigned char* b = bytesOf(bytes);
    const size_t n = bytes.size();
    f.ours = beginsAsDeletePlan(bytes.substr(0, sizeof kPlanMagic));
    size_t at = 0;
    while (n - at >= kPlanHeaderSize + kPlanChecksumSize) {
        const unsigned char* p = b + at;
        if (std::memcmp(p, kPlanMagic, sizeof kPlanMagic) != 0) break;
        const uint32_t version = le::read<uint32_t>(p + 8);
        if (version != kPlanVersion && version != kFirstPlanVersion) {
            if (at == 0) f.ours = false; // a later version's: not ours to judge
            break;
        }
        DeletePlan plan;
        plan.deleted = le::read<uint64_t>(p + 12);
        plan.count = le::read<uint64_t>(p + 20);
        const uint64_t moved = le::read<uint64_t>(p + 28);
        if (plan.deleted < 1 || plan.deleted > plan.count || moved != plan.count - plan.deleted)
            break;
        if (moved > (n - at - kPlanHeaderSize - kPlanChecksumSize) / kResultRecordSize) break;
        const size_t movedEnd = kPlanHeaderSize + static_cast<size_t>(moved) * kResultRecordSize;
        size_t body = movedEnd;
        uint64_t entry = 0;
        if (version == kPlanVersion) {
            if (n - at < movedEnd + 8 + kPlanChecksumSize) break;
            entry = le::read<uint64_t>(p + movedEnd);
            if (entry != 0 && entry != kDeletedEntrySize) break;
            body += 8 + static_cast<size_t>(entry);
            if (n - at < body + kPlanChecksumSize) break;
        }
        if (!planChecksumHolds(p, body)) break;
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

StepFailure carryOutDelete(SharedFile& log, const std::filesystem::path& logPath,
                           const DeletePlan& plan, const std::function<void()>& moved) {
    FileStatus s = writeAndSync(log, (plan.deleted - 1) * kResultRecordSize, plan.moved.data(),
                                plan.moved.size());
    if (!s.ok()) return fail(s, logPath, "に書き込めません");
    if (moved) moved();
    s = log.truncate((plan.count - 1) * kResultRecordSize);
    if (s.ok()) s = log.sync();
    if (!s.ok()) return fail(s, logPath, "を短くできません");
    return {};
}

FileStatus storeEntryOf(SharedFileSystem& files, const std::filesystem::path& logPath,
                        const DeletePlan& plan) {
    if (plan.entry.size() != kDeletedEntrySize) return FileStatus::success();
    DeletedEntryBytes entry{};
    std::memcpy(entry.data(), plan.entry.data(), entry.size());
    return storeDeletedEntry(files, logPath, entry);
}

StepFailure finishDeletePlans(SharedFileSystem& files, const std::filesystem::path& logPath,
                              SharedFile& log, SharedFile& planFile,
                              const std::filesystem::path& planPath, DeletePlans& plans) {
    DeletePlan plan = plans.plans.back();
    bool marked = false;
    for (;;) {
        uint64_t records = 0;
        FileStatus s = recordCount(log, records);
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
        if (!marked) (void)moveChangeMark(files, logPath);
        marked = true;
        if (records == plan.count) {
            const StepFailure f = carryOutDelete(log, logPath, plan);
            if (f.failed()) return f;
            break;
        }
        // Records appended after the crash follow the old last record. The
        // moved records go down first; then a plan that deletes the old last
        // record (now a copy) moves the appended ones down after them.
        s = writeAndSync(log, (plan.deleted - 1) * kResultRecordSize, plan.moved.data(),
                         plan.moved.size());
        if (!s.ok()) return fail(s, logPath, "に書き込めません");
        DeletePlan next;
        next.deleted = plan.count;
        next.count = records;
        next.entry = plan.entry;
        s = readRecords(log, plan.count + 1, records - plan.count, next.moved);
        if (!s.ok()) return fail(s, logPath, "を読めません");
        std::memcpy(next.last.data(), next.moved.data() + next.moved.size() - kResultRecordSize,
                    kResultRecordSize);
        const std::string encoded = encodeDeletePlan(next);
        s = planFile.truncate(plans.wholeLength);
        if (s.ok()) s = writeAndSync(planFile, plans.wholeLength, encoded.data(), encoded.size());
        if (!s.ok()) return fail(s, planPath, "に書き込めません");
        plans.wholeLength += encoded.size();
        plan = std::move(next);
    }
    // The delete took effect: its record goes to the file of deleted records
    // before the plan that holds it goes.
    const FileStatus s = storeEntryOf(files, logPath, plan);
    if (!s.ok()) return fail(s, deletedRecordsPath(logPath), "に書き込めません");
    return {};
}

} // namespace kestrel
