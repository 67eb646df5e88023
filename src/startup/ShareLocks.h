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
// A folder a cloud client syncs (OneDrive, Dropbox, ...) is refused too: it
// passes files between the PCs after the fact, and one of two records made
// at once becomes a conflict copy.
#include <optional>
#include <string>
#include <string_view>

#include "platform/MountTable.h"
#include "startup/AppFolders.h"

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

// The system whose way of mending a folder a message gives: the teacher of a
// Windows PC has no /etc/fstab, a Linux PC no installer.
enum class FixSystem { Linux, Windows };
// This system's (Windows where drives have letters).
FixSystem thisFixSystem();

// Nothing when the mount's locks reach every PC that shares it (or it is a
// local disk).
std::optional<LocalLocks> locksStayOnThisPc(const Mount& mount);

// The teacher's message: the folder, the mount's source and type, what would
// happen and what to do: on Linux the mount to mend, with an example line of
// /etc/fstab for a cifs mount; on Windows the school server's share to name
// instead (the installer's /SHARED= or the path file).
std::string localLocksMessage(const std::string& folder, const Mount& mount, const LocalLocks& why,
                              FixSystem system = thisFixSystem());

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
std::string unreadableMountTableMessage(const std::string& table, const FileStatus& status,
                                        FixSystem system = thisFixSystem());

// The teacher's message for a data folder in a cloud-synced folder: which
// client and what shows it, what would happen, and what to name instead.
std::string cloudFolderMessage(const std::string& folder, const CloudFolder& cloud,
                               FixSystem system = thisFixSystem());

// The warning for a shared folder written with a drive letter that is
// mapped to a share (`networkName`, its UNC name): a mapping belongs to one
// user, so an installer run as administrator or a child's account may not
// have it. Nothing for a folder not on a mapped drive.
std::optional<std::string> driveLetterWarning(const std::string& sharedFolder,
                                              const std::optional<std::string>& networkName);

// What start-up and the setup check make of the shared folder's place,
// besides its locks: a data folder in a cloud-synced folder is refused, a
// shared folder on a mapped drive is warned of.
struct FolderPlace {
    std::optional<std::string> refusal;
    std::optional<std::string> warning;
};
FolderPlace folderPlace(MountTable& mounts, const AppFolders& folders);

} // namespace kestrel
