// This system's files and mounts (platform/SystemServices.h).
#include "platform/SystemServices.h"
#include "platform/Win32MountTable.h"
#include "platform/Win32SharedFile.h"

namespace kestrel {

std::unique_ptr<SharedFileSystem> systemFileSystem() {
    return std::make_unique<Win32SharedFileSystem>();
}

std::unique_ptr<MountTable> systemMountTable() {
    return std::make_unique<Win32MountTable>();
}

} // namespace kestrel
