#pragma once
// The build's own file layer and mount table, for the tests' real files,
// and a failure of the file layer made from an errno value, for the doubles
// that fail on command: the same faults on either system.
#include <cerrno>

#ifdef _WIN32
#include "platform/Win32MountTable.h"
#include "platform/Win32SharedFile.h"
#else
#include "platform/PosixMountTable.h"
#include "platform/PosixSharedFile.h"
#endif

namespace kestrel::test {

#ifdef _WIN32
using SystemSharedFileSystem = Win32SharedFileSystem;
using SystemMountTable = Win32MountTable;

// The Windows error the system gives for what the errno value names.
inline uint32_t windowsCodeOf(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return 2; // ERROR_FILE_NOT_FOUND
    case EACCES:
    case EPERM:
        return 5; // ERROR_ACCESS_DENIED
    case EROFS:
        return 19; // ERROR_WRITE_PROTECT
    case EAGAIN:
        return 33; // ERROR_LOCK_VIOLATION
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case EISDIR:
        return 336; // ERROR_DIRECTORY_NOT_SUPPORTED
    case EIO:
        return 30; // ERROR_READ_FAULT
    default:
        return 31; // ERROR_GEN_FAILURE
    }
}
inline FileStatus posixFileStatus(int err) {
    return win32FileStatus(windowsCodeOf(err));
}
inline FileStatus posixSharingStatus(int err) {
    return win32SharingStatus(windowsCodeOf(err));
}
#else
using SystemSharedFileSystem = PosixSharedFileSystem;
using SystemMountTable = ProcMountTable;
#endif

} // namespace kestrel::test
