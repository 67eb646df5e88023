// This system's files and mounts (platform/SystemServices.h).
#include "platform/PosixMountTable.h"
#include "platform/PosixSharedFile.h"
#include "platform/SystemServices.h"

#include <cstdlib>

#include "platform/Utf8Path.h"

namespace kestrel {

std::unique_ptr<SharedFileSystem> systemFileSystem() {
    return std::make_unique<PosixSharedFileSystem>();
}

std::unique_ptr<MountTable> systemMountTable() {
    return std::make_unique<ProcMountTable>();
}

std::vector<std::filesystem::path> keptRunsFolders() {
    std::vector<std::filesystem::path> folders{pathFromUtf8("/var/lib/kestrel/記録待ち")};
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state && *state == '/')
        folders.push_back(pathFromUtf8(state) / pathFromUtf8("kestrel/記録待ち"));
    else if (home && *home == '/')
        folders.push_back(pathFromUtf8(home) / pathFromUtf8(".local/state/kestrel/記録待ち"));
    return folders;
}

} // namespace kestrel
