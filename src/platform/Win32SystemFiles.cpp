// This system's files and mounts (platform/SystemServices.h).
#include "platform/SystemServices.h"
#include "platform/Win32MountTable.h"
#include "platform/Win32SharedFile.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/Win32Text.h"

namespace kestrel {

std::unique_ptr<SharedFileSystem> systemFileSystem() {
    return std::make_unique<Win32SharedFileSystem>();
}

std::unique_ptr<MountTable> systemMountTable() {
    return std::make_unique<Win32MountTable>();
}

namespace {

std::filesystem::path knownFolder(REFKNOWNFOLDERID id) {
    PWSTR wide = nullptr;
    std::filesystem::path out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &wide)) && wide) out = wide;
    CoTaskMemFree(wide);
    return out;
}

} // namespace

std::vector<std::filesystem::path> keptRunsFolders() {
    std::vector<std::filesystem::path> folders;
    for (const KNOWNFOLDERID* id : {&FOLDERID_ProgramData, &FOLDERID_LocalAppData}) {
        const std::filesystem::path base = knownFolder(*id);
        if (!base.empty()) folders.push_back(base / L"Kestrel" / L"記録待ち");
    }
    return folders;
}

} // namespace kestrel
