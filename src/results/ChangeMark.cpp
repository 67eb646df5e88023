#include "results/ChangeMark.h"

#include <cstring>
#include <random>

#include "platform/Utf8Path.h"
#include "results/ResultRecord.h"

namespace kestrel {
namespace {

constexpr unsigned char kMarkMagic[8] = {'K', 'S', 'T', 'R', 'L', 'M', 'R', 'K'};
constexpr size_t kMarkSize = 24;    // magic, counter, random number
constexpr size_t kMarkReadMax = 64; // more than any mark holds: a longer file differs anyway

uint64_t randomNumber() {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
}

} // namespace

std::filesystem::path changeMarkPath(const std::filesystem::path& logPath) {
    return logPath.parent_path() / pathFromUtf8(kChangeMarkName);
}

FileStatus readChangeMark(SharedFileSystem& files, const std::filesystem::path& logPath,
                          std::string& mark) {
    return readFileIfExists(files, changeMarkPath(logPath), mark, kMarkReadMax);
}

FileStatus moveChangeMark(SharedFileSystem& files, const std::filesystem::path& logPath) {
    const std::filesystem::path path = changeMarkPath(logPath);
    FileStatus s;
    std::unique_ptr<SharedFile> file = files.open(path, SharedAccess::Write, s);
    if (!file) return s;
    uint64_t length = 0;
    s = file->size(length);
    if (!s.ok()) return s;
    unsigned char mark[kMarkSize] = {};
    uint64_t counter = 0;
    size_t got = 0;
    if (length >= kMarkSize && file->readAt(0, mark, kMarkSize, got).ok() && got == kMarkSize &&
        std::memcmp(mark, kMarkMagic, sizeof kMarkMagic) == 0)
        counter = le::read<uint64_t>(mark + 8);
    std::memcpy(mark, kMarkMagic, sizeof kMarkMagic);
    le::write<uint64_t>(mark + 8, counter + 1);
    le::write<uint64_t>(mark + 16, randomNumber());
    s = file->writeAt(0, mark, kMarkSize);
    if (s.ok() && length > kMarkSize) s = file->truncate(kMarkSize);
    if (s.ok()) s = file->sync();
    if (s.ok()) s = file->close();
    // A mark just made must not vanish with a power loss of the server while
    // the change it announces stays.
    if (s.ok() && length == 0) s = files.syncFolder(path.parent_path());
    return s;
}

} // namespace kestrel
