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

// A folder that a cloud client keeps in step with its cloud (OneDrive,
// Dropbox, Nextcloud, ...). Such a client copies each PC's files to the
// others after the fact: two PCs that record at once meet as a conflict
// copy, and one of the records is lost; no lock reaches the other PCs.
struct CloudFolder {
    std::string client; // "OneDrive", "Dropbox", ...
    std::string root;   // the synced folder (or the file) that shows it
    std::string sign;   // what shows it, in the teacher's words
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
    // The cloud-synced folder that holds `folder` (an absolute path), or
    // nothing: the marks sync clients leave in the root of what they sync
    // (cloudMarkOf), and what this system knows besides (Windows: the sync
    // roots it lists, files with cloud attributes). What cannot be read
    // shows nothing.
    virtual std::optional<CloudFolder> cloudFolderOf(const std::string& folder);
    // The network name (\\server\share\...) of a path on a drive letter
    // that is mapped to a share; nothing for any other path, and where
    // drives have no letters.
    virtual std::optional<std::string> networkNameOf(const std::string& path);
};

// The sync client whose mark `name` is (a file or folder a client keeps in
// the root of what it syncs: ".dropbox", ".stfolder", ".sync_....db", ...),
// or nothing.
std::optional<std::string> cloudMarkOf(std::string_view name);
// The cloud folder that `folder` or one of its parents is the root of, by
// the marks in them.
std::optional<CloudFolder> markedCloudFolder(const std::string& folder);

// The mounts of a mountinfo text (one mount a line; "\040" and the like
// stand for blanks and other characters in paths).
std::vector<Mount> parseMountInfo(std::string_view text);

// The mount that holds `path` (an absolute path): the longest mount point
// that is `path` or one of its parent folders; the last such line wins, as
// a later mount hides an earlier one. Null when none does.
const Mount* mountHolding(const std::vector<Mount>& mounts, std::string_view path);

} // namespace kestrel
