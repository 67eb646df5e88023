// This system's files and mounts (platform/SystemServices.h).
#include "platform/PosixMountTable.h"
#include "platform/PosixSharedFile.h"
#include "platform/SystemServices.h"

namespace kestrel {

std::unique_ptr<SharedFileSystem> systemFileSystem() {
    return std::make_unique<PosixSharedFileSystem>();
}

std::unique_ptr<MountTable> systemMountTable() {
    return std::make_unique<ProcMountTable>();
}

} // namespace kestrel
