#pragma once
// The mount table of Linux, as the kernel lists it for this process.
#include "platform/MountTable.h"

namespace kestrel {

// /proc/self/mountinfo.
class ProcMountTable : public MountTable {
public:
    FileStatus mounts(std::vector<Mount>& out) override;
    std::string source() const override { return kPath; }

    static constexpr const char* kPath = "/proc/self/mountinfo";
};

} // namespace kestrel
