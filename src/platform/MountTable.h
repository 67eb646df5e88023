#pragma once
// The file systems mounted on this PC, as the kernel lists them: where each
// is mounted, its type, its source and its options. Start-up uses it to
// refuse a shared folder whose locks would not reach the other PCs.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SharedFile.h"

namespace kestrel {

struct Mount {
    std::string mountPoint;           // without a trailing "/" (but "/" itself)
    std::string type;                 // "ext4", "cifs", "nfs4", ...
    std::string source;               // "//server/share", "server:/export", ...
    std::vector<std::string> options; // the mount's and the file system's, as listed
};

class MountTable {
public:
    virtual ~MountTable() = default;
    // The mounts into `out`; a failure when the table cannot be read.
    virtual FileStatus mounts(std::vector<Mount>& out) = 0;
    // Where the table is read from, for messages ("/proc/self/mountinfo").
    virtual std::string source() const = 0;
    // The mount that holds `path` (an absolute path), or nothing when none
    // does: mountHolding() of the table, unless the system answers for one
    // path better than a table of mount points can (Windows: a share named
    // by its UNC path is mounted nowhere).
    virtual FileStatus mountOf(const std::string& path, std::optional<Mount>& out);
};

// The mounts of a mountinfo text (one mount a line; "\040" and the like
// stand for blanks and other characters in paths).
std::vector<Mount> parseMountInfo(std::string_view text);

// The mount that holds `path` (an absolute path): the longest mount point
// that is `path` or one of its parent folders; the last such line wins, as
// a later mount hides an earlier one. Null when none does.
const Mount* mountHolding(const std::vector<Mount>& mounts, std::string_view path);

} // namespace kestrel
