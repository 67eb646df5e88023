#include "ServerStartup.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "platform/Utf8Path.h"
#include "roster/RosterDisplay.h"
#include "school/School.h"
#include "startup/Folders.h"
#include "text/Cp932.h"

namespace kestrel::server {
namespace {

constexpr size_t kMaxStaticFiles = 64;
constexpr uintmax_t kMaxStaticBytes = 4u << 20;

bool safeName(const std::string& name) {
    return !name.empty() && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
           });
}

std::string typeOf(const std::string& name) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".woff2", "font/woff2"},
        {".txt", "text/plain; charset=utf-8"}};
    for (const auto& [ext, type] : types)
        if (name.ends_with(ext)) return type;
    return "application/octet-stream";
}

} // namespace

ServerSetup loadServerSetup(const std::filesystem::path& programFile,
                            const std::string& sharedFolder, MountTable* mounts) {
    School school;
    if (const OpenStatus opened = openSchool(school, {programFile, sharedFolder, mounts});
        !opened.ok())
        throw StartupError(opened.message);
    ServerSetup setup;
    setup.folders = std::move(school.folders);
    setup.config = std::move(school.config);
    setup.program = std::move(school.program);
    setup.criteria = std::move(school.criteria);
    setup.sounds = std::move(school.sounds);
    // The roster is read again for every name list; a roster that cannot be
    // read at all is told now rather than to the first child.
    try {
        (void)readRosterEntries(setup.folders.SharedFolder);
    } catch (const std::exception& e) {
        throw StartupError(e.what());
    }
    setup.files = loadStaticFiles(pathFromUtf8(setup.folders.ProgramFolder) / "www");
    return setup;
}

std::map<std::string, StaticFile> loadStaticFiles(const std::filesystem::path& folder) {
    std::map<std::string, StaticFile> files;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return files;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : it) {
        if (!entry.is_regular_file(ec) || !safeName(utf8OfPath(entry.path().filename()))) continue;
        if (entry.file_size(ec) > kMaxStaticBytes) continue;
        paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    if (paths.size() > kMaxStaticFiles) paths.resize(kMaxStaticFiles);
    for (const auto& p : paths) {
        std::ifstream in(p, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) continue;
        const std::string name = utf8OfPath(p.filename());
        files["/" + name] = {typeOf(name), std::move(bytes)};
    }
    return files;
}

} // namespace kestrel::server
