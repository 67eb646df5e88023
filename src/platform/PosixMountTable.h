#pragma once
// The mount table of Linux, as the kernel lists it for this process.
#include "platform/MountTable.h"

namespace kestrel {

// /proc/self/mountinfo.
class ProcMountTable : public MountTable {
public:
    FileStatus mounts(std::vector<Mount>& out) override;
    std::string source() const override { return kPath; }
    // The sync clients' marks, then the folder of the OneDrive client for
    // Linux (its configuration's sync_dir, ~/OneDrive unless it says
    // otherwise), which leaves no mark.
    std::optional<CloudFolder> cloudFolderOf(const std::string& folder) override;

    static constexpr const char* kPath = "/proc/self/mountinfo";
};

// The folder a configuration of the OneDrive client for Linux syncs:
// its sync_dir ("~" standing for `home`), or `home`/OneDrive.
std::string oneDriveFolderOf(std::string_view config, const std::string& home);

} // namespace kestrel
