#pragma once
// The volumes of Windows in the terms of the mount table: a local disk
// under its file system's name ("ntfs", "vfat", "exfat", "refs"), an SMB
// share (a mapped drive or a \\server\share path) as "cifs", whose locks
// the server enforces for every PC, a WebDAV folder as "davfs", whose locks
// stay on this PC, and any other redirector under its provider's name,
// which start-up does not know and refuses.
#include "platform/MountTable.h"

namespace kestrel {

class Win32MountTable : public MountTable {
public:
    // Every drive letter with a volume in it.
    FileStatus mounts(std::vector<Mount>& out) override;
    std::string source() const override { return "Windows のボリューム情報"; }
    // The volume of the path itself, also a share named by its UNC path.
    FileStatus mountOf(const std::string& path, std::optional<Mount>& out) override;
    // The sync clients' marks, then OneDrive's folders (its environment
    // and its accounts' settings), the sync roots the system lists for any
    // account (OneDrive, Dropbox, Google Drive, iCloud, Box, ...), and files
    // in the folder that carry cloud attributes (placeholders, pinned or
    // online-only).
    std::optional<CloudFolder> cloudFolderOf(const std::string& folder) override;
    // WNetGetUniversalName of a path on a mapped drive.
    std::optional<std::string> networkNameOf(const std::string& path) override;
};

// Whether `path` is `root` or lies below it, as Windows compares names
// (either separator, case aside for ASCII letters).
bool win32PathWithin(const std::string& path, const std::string& root);
// Whether a file's attributes (and reparse tag, with FILE_ATTRIBUTE_REPARSE_POINT)
// are a cloud client's: a placeholder of the Cloud Files API, a file kept
// online only, pinned or unpinned, or offline.
bool win32CloudAttributes(unsigned long attributes, unsigned long reparseTag);
// The client named by a sync root's registry key ("OneDrive!S-1-5-21-…!Personal|…").
std::string win32SyncRootClient(const std::string& keyName);

// The mount table's type for a volume: `remote` with the network provider's
// type (WNNC_NET_*) and name, else the file system's name.
std::string win32MountType(bool remote, unsigned long providerType, const std::string& providerName,
                           const std::string& fileSystem);

} // namespace kestrel
