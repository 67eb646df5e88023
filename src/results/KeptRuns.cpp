#include "results/KeptRuns.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "platform/RunningProgram.h"
#include "platform/Utf8Path.h"
#include "results/SharingRetry.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

constexpr char kMark[] = "Kestrel kept run 1\n";
constexpr size_t kMarkSize = sizeof kMark - 1;
constexpr size_t kMaxPathBytes = 4096;
constexpr size_t kMaxKeptFileBytes = kMarkSize + 4 + kMaxPathBytes + kResultRecordSize + 4;

// FNV-1a over the bytes: enough to tell a file cut short or changed.
uint32_t checksum(std::string_view bytes) {
    uint32_t h = 2166136261u;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

uint32_t getU32(const std::string& in, size_t at) {
    return le::read<uint32_t>(reinterpret_cast<const unsigned char*>(in.data() + at));
}

// The log's name as it is compared: absolute where it can be made so.
std::string logKey(const fs::path& logPath) {
    std::error_code ec;
    fs::path p = fs::absolute(logPath, ec);
    if (ec) p = logPath;
    return utf8OfPath(p.lexically_normal());
}

// Sorts by the run's date and time, then the student, level and process.
std::string keptFileName(const ResultRecord& r) {
    static std::atomic<unsigned> counter{0};
    const auto day = static_cast<long>(std::max(0.0, r.date));
    const auto ms = static_cast<long>(std::lround(std::clamp(r.timeOfDay, 0.0, 1.0) * 86400000.0));
    char text[96];
    std::snprintf(text, sizeof text, "%07ld-%08ld-%04d-%02d-", day, ms, r.studentNumber, r.level);
    return text + processTag() + "-" + std::to_string(counter++) + kKeptRunEnding;
}

// Writes the file under a temporary name, syncs it and its folder, and
// gives it its name: a crash leaves a whole kept run or none.
FileStatus writeKept(SharedFileSystem& files, const fs::path& folder, const std::string& name,
                     const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path temporary = folder / pathFromUtf8(name + ".tmp");
    FileStatus s;
    std::unique_ptr<SharedFile> file = files.open(temporary, SharedAccess::Write, s);
    if (!file) return s;
    s = file->truncate(0);
    if (s.ok()) s = file->writeAt(0, bytes.data(), bytes.size());
    if (s.ok()) s = file->sync();
    const FileStatus closed = file->close();
    if (s.ok()) s = closed;
    if (s.ok()) s = files.renameOver(temporary, folder / pathFromUtf8(name));
    if (!s.ok()) {
        (void)files.remove(temporary);
        return s;
    }
    return files.syncFolder(folder);
}

} // namespace

std::string encodeKeptRun(const fs::path& logPath, const ResultRecord& record) {
    const std::string path = logKey(logPath);
    std::string out(kMark, kMarkSize);
    putU32(out, static_cast<uint32_t>(path.size()));
    out += path;
    const ResultBytes bytes = encodeResultRecord(record);
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    putU32(out, checksum(out));
    return out;
}

std::optional<KeptRun> decodeKeptRun(const std::string& bytes) {
    if (bytes.size() < kMarkSize + 4 + kResultRecordSize + 4 || bytes.size() > kMaxKeptFileBytes ||
        bytes.compare(0, kMarkSize, kMark) != 0)
        return std::nullopt;
    const uint32_t pathBytes = getU32(bytes, kMarkSize);
    if (bytes.size() != kMarkSize + 4 + pathBytes + kResultRecordSize + 4) return std::nullopt;
    const size_t end = bytes.size() - 4;
    if (getU32(bytes, end) != checksum(std::string_view(bytes).substr(0, end))) return std::nullopt;
    KeptRun run;
    run.logPath = pathFromUtf8(std::string_view(bytes).substr(kMarkSize + 4, pathBytes));
    run.record = decodeResultRecord(
        reinterpret_cast<const unsigned char*>(bytes.data() + kMarkSize + 4 + pathBytes));
    return run;
}

KeepOutcome keepRun(SharedFileSystem& files, const std::vector<fs::path>& folders,
                    const fs::path& logPath, const ResultRecord& record) {
    KeepOutcome out;
    const std::string bytes = encodeKeptRun(logPath, record);
    const std::string name = keptFileName(record);
    for (const fs::path& folder : folders) {
        const FileStatus s = writeKept(files, folder, name, bytes);
        if (s.ok()) {
            out.file = folder / pathFromUtf8(name);
            return out;
        }
        out.problem += "「" + displayPath(folder) + "」に書きこめません（" + s.description + "）。";
    }
    if (folders.empty()) out.problem = "成績をとっておくフォルダがありません。";
    return out;
}

std::vector<fs::path> keptRunFiles(const std::vector<fs::path>& folders, const fs::path& logPath,
                                   SharedFileSystem& files) {
    const std::string key = logKey(logPath);
    std::vector<std::pair<std::string, fs::path>> found;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& p = it->path();
            if (utf8OfPath(p.extension()) != kKeptRunEnding) continue;
            std::string bytes;
            if (!readFileIfExists(files, p, bytes, kMaxKeptFileBytes + 1).ok()) continue;
            const std::optional<KeptRun> run = decodeKeptRun(bytes);
            // A file cut short or another school's run is left as it is.
            if (!run || utf8OfPath(run->logPath) != key) continue;
            found.emplace_back(utf8OfPath(p.filename()), p);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> out;
    for (auto& f : found)
        out.push_back(std::move(f.second));
    return out;
}

KeptRunsFlush appendKeptRuns(const std::vector<fs::path>& folders, const LogAccess& log) {
    KeptRunsFlush out;
    const std::vector<fs::path> kept = keptRunFiles(folders, log.path, log.files);
    for (size_t i = 0; i < kept.size(); ++i) {
        std::string bytes;
        // Another program of this PC may have put it in meanwhile.
        if (!readFileIfExists(log.files, kept[i], bytes, kMaxKeptFileBytes + 1).ok() ||
            bytes.empty())
            continue;
        const std::optional<KeptRun> run = decodeKeptRun(bytes);
        if (!run) continue;
        bool there = false;
        out.status = AppendResultUnlessThere(log, run->record, there);
        if (!out.status.ok()) {
            out.waiting = static_cast<int>(kept.size() - i);
            return out;
        }
        ++(there ? out.alreadyThere : out.appended);
        // Once its record stands in the log; a file left by a failed
        // remove is found in the log next time.
        (void)log.files.remove(kept[i]);
    }
    return out;
}

} // namespace kestrel
