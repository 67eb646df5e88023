#include "platform/MountTable.h"

#include <filesystem>
#include <system_error>

#include "platform/Utf8Path.h"

namespace kestrel {
namespace {

// Undoes the octal escapes of mountinfo ("\040" is a blank).
std::string unescape(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            bool octal = true;
            for (char c : digits)
                octal = octal && c >= '0' && c <= '7';
            if (octal) {
                out += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                         (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

void addOptions(std::vector<std::string>& options, std::string_view list) {
    for (std::string_view o : split(list, ','))
        if (!o.empty()) options.emplace_back(o);
}

} // namespace

std::vector<Mount> parseMountInfo(std::string_view text) {
    std::vector<Mount> mounts;
    for (std::string_view line : split(text, '\n')) {
        std::vector<std::string_view> f;
        for (std::string_view part : split(line, ' '))
            if (!part.empty()) f.push_back(part);
        // id parent dev root mountpoint options [optional fields] - type source super
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (f.size() < 6 || dash + 2 >= f.size()) continue;
        Mount m;
        m.mountPoint = unescape(f[4]);
        m.type = std::string(f[dash + 1]);
        m.source = unescape(f[dash + 2]);
        addOptions(m.options, f[5]);
        if (dash + 3 < f.size()) addOptions(m.options, f[dash + 3]);
        mounts.push_back(std::move(m));
    }
    return mounts;
}

const Mount* mountHolding(const std::vector<Mount>& mounts, std::string_view path) {
    const Mount* best = nullptr;
    for (const Mount& m : mounts) {
        const std::string_view point = m.mountPoint;
        const bool holds =
            point == "/" || (path.substr(0, point.size()) == point &&
                             (path.size() == point.size() || path[point.size()] == '/'));
        if (holds && (!best || point.size() >= best->mountPoint.size())) best = &m;
    }
    return best;
}

FileStatus MountTable::mountOf(const std::string& path, std::optional<Mount>& out) {
    out.reset();
    std::vector<Mount> list;
    const FileStatus read = mounts(list);
    if (!read.ok()) return read;
    if (const Mount* m = mountHolding(list, path)) out = *m;
    return FileStatus::success();
}

std::optional<std::string> cloudMarkOf(std::string_view name) {
    struct Mark {
        std::string_view name;
        const char* client;
    };
    static constexpr Mark kMarks[] = {
        {".dropbox", "Dropbox"},
        {".dropbox.cache", "Dropbox"},
        {".stfolder", "Syncthing"},
        {".owncloudsync.log", "Nextcloud / ownCloud"},
        {".nextcloudsync.log", "Nextcloud"},
        {".debris", "MEGA"},
        {".tresorit", "Tresorit"},
    };
    for (const Mark& m : kMarks)
        if (name == m.name) return m.client;
    // The sync journal of Nextcloud and ownCloud: ".sync_<id>.db", "._sync_<id>.db".
    if ((name.starts_with(".sync_") || name.starts_with("._sync_")) && name.ends_with(".db"))
        return "Nextcloud / ownCloud";
    return std::nullopt;
}

std::optional<CloudFolder> markedCloudFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    // Enough for any folder a school keeps its data in; a larger one is
    // looked at no further rather than read whole.
    constexpr int kEntriesLookedAt = 4000;
    std::error_code ec;
    fs::path at = pathFromUtf8(folder).lexically_normal();
    if (!at.has_filename()) at = at.parent_path();
    for (;;) {
        int seen = 0;
        for (fs::directory_iterator it(at, ec), end; !ec && it != end && seen < kEntriesLookedAt;
             it.increment(ec), ++seen) {
            const std::string name = utf8OfPath(it->path().filename());
            if (std::optional<std::string> client = cloudMarkOf(name))
                return CloudFolder{*client, utf8OfPath(at), "「" + name + "」があります"};
        }
        ec.clear();
        if (!at.has_relative_path()) return std::nullopt;
        at = at.parent_path();
    }
}

std::optional<CloudFolder> MountTable::cloudFolderOf(const std::string& folder) {
    return markedCloudFolder(folder);
}

std::optional<std::string> MountTable::networkNameOf(const std::string&) {
    return std::nullopt;
}

} // namespace kestrel
