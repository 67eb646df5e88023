#pragma once
// Whether the data folder's locks reach the other PCs. Every PC appends to
// the same results log under an exclusive lock; a folder whose locks stay on
// this PC lets two PCs write at the same place, and a result is silently
// overwritten. That is so for cifs with "nobrl", NFS with "nolock" or
// "local_lock=all" or "posix", every FUSE client of a network share (the
// file manager's "connect to server", smbnetfs, sshfs, rclone: the kernel
// keeps their locks on this PC) and the folders a virtual machine shares
// with its host. Local disks share nothing, so their locks need not travel;
// a network type this table does not know is refused rather than trusted.
#include <optional>
#include <string>
#include <string_view>

#include "platform/MountTable.h"

namespace kestrel {

// What a file-system type means for the locks of the results log.
enum class MountKind {
    LocalDisk,     // a disk or memory of this PC
    SharedLocks,   // a network file system that forwards locks (unless an option stops it)
    LocksStayOnPc, // a network file system whose locks never leave this PC
    Unknown,       // not in the table: refused
};
MountKind kindOfMountType(std::string_view type);

// Why a mount's locks would not reach the other PCs: an option of a network
// file system that forwards locks otherwise, or the type itself.
struct LocalLocks {
    std::string option; // "nobrl", "nolock", ...; empty when the type is the cause
    MountKind kind = MountKind::LocksStayOnPc;
};

// Nothing when the mount's locks reach every PC that shares it (or it is a
// local disk).
std::optional<LocalLocks> locksStayOnThisPc(const Mount& mount);

// The teacher's message: the folder, the mount's source and type, what would
// happen and what to do, with an example line for a cifs mount.
std::string localLocksMessage(const std::string& folder, const Mount& mount, const LocalLocks& why);

// The mount that holds `folder`, looked up by the folder's absolute path
// with its links resolved as far as it exists. `mount` stays empty when the
// table names none; a table that cannot be read fails.
struct FolderMount {
    FileStatus status;
    std::optional<Mount> mount;
};
FolderMount mountOfFolder(MountTable& mounts, const std::string& folder);

// Why start-up refuses `dataFolder`, for the teacher: its locks stay on this
// PC, or the mount table cannot be read. Nothing when the folder is sound.
std::optional<std::string> shareLockProblem(MountTable& mounts, const std::string& dataFolder);

// The teacher's message when the mount table cannot be read: without it,
// nothing tells whether the data folder's locks reach the other PCs.
std::string unreadableMountTableMessage(const std::string& table, const FileStatus& status);

} // namespace kestrel
