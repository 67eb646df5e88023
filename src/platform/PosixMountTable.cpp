#include "platform/PosixMountTable.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "platform/PosixSharedFile.h"

namespace kestrel {

// Read as a stream: the kernel tells no length for it.
FileStatus ProcMountTable::mounts(std::vector<Mount>& out) {
    out.clear();
    errno = 0;
    std::ifstream in(kPath);
    if (!in) return posixFileStatus(errno != 0 ? errno : EIO);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return posixFileStatus(errno != 0 ? errno : EIO);
    out = parseMountInfo(text.str());
    // Every process has a root: a table without it was not read.
    if (out.empty()) return FileStatus::inputOutputError();
    return FileStatus::success();
}

std::string oneDriveFolderOf(std::string_view config, const std::string& home) {
    std::string folder = "~/OneDrive";
    std::istringstream lines{std::string(config)};
    for (std::string line; std::getline(lines, line);) {
        const size_t key = line.find_first_not_of(" \t");
        if (key == std::string::npos || line.compare(key, 8, "sync_dir") != 0) continue;
        const size_t open = line.find('"', key), close = line.rfind('"');
        if (open != std::string::npos && close > open)
            folder = line.substr(open + 1, close - open - 1);
    }
    if (folder.starts_with("~")) folder = home + folder.substr(1);
    return folder;
}

std::optional<CloudFolder> ProcMountTable::cloudFolderOf(const std::string& folder) {
    if (std::optional<CloudFolder> marked = markedCloudFolder(folder)) return marked;
    const char* home = std::getenv("HOME");
    if (!home || !*home) return std::nullopt;
    const std::string configDir = std::string(home) + "/.config/onedrive";
    std::ifstream in(configDir + "/config");
    std::ostringstream config;
    if (in)
        config << in.rdbuf();
    else if (::access(configDir.c_str(), F_OK) != 0)
        return std::nullopt;
    std::string root = oneDriveFolderOf(config.str(), home);
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (folder.compare(0, root.size(), root) != 0 ||
        (folder.size() > root.size() && folder[root.size()] != '/'))
        return std::nullopt;
    return CloudFolder{"OneDrive", root, "OneDrive のクライアントが同期するフォルダです"};
}

} // namespace kestrel
