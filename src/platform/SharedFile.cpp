#include "platform/SharedFile.h"

namespace kestrel {

FileStatus readWholeFile(SharedFile& file, std::string& out) {
    uint64_t length = 0;
    FileStatus s = file.size(length);
    if (!s.ok()) return s;
    out.assign(static_cast<size_t>(length), '\0');
    size_t got = 0;
    s = file.readAt(0, out.data(), out.size(), got);
    out.resize(got);
    return s;
}

FileStatus readWholeFile(SharedFileSystem& files, const std::filesystem::path& path,
                         std::string& out, SharedAccess access, bool* opened) {
    out.clear();
    FileStatus s;
    std::unique_ptr<SharedFile> file = files.open(path, access, s);
    if (opened) *opened = file != nullptr;
    if (!file) return s;
    s = readWholeFile(*file, out);
    const FileStatus closed = file->close();
    return s.ok() ? closed : s;
}

FileStatus readFileIfExists(SharedFileSystem& files, const std::filesystem::path& path,
                            std::string& out, size_t max) {
    out.clear();
    FileStatus s;
    if (max == SIZE_MAX) {
        s = readWholeFile(files, path, out, SharedAccess::Existing);
        return s.fault == FileFault::NotFound ? FileStatus::success() : s;
    }
    std::unique_ptr<SharedFile> file = files.open(path, SharedAccess::Existing, s);
    if (!file) return s.fault == FileFault::NotFound ? FileStatus::success() : s;
    out.assign(max, '\0');
    size_t got = 0;
    s = file->readAt(0, out.data(), max, got);
    out.resize(got);
    const FileStatus closed = file->close();
    return s.ok() ? closed : s;
}

} // namespace kestrel
