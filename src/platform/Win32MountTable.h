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
};

// The mount table's type for a volume: `remote` with the network provider's
// type (WNNC_NET_*) and name, else the file system's name.
std::string win32MountType(bool remote, unsigned long providerType, const std::string& providerName,
                           const std::string& fileSystem);

} // namespace kestrel
