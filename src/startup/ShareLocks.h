#pragma once
// Whether the data folder's locks reach the other PCs. Every PC appends to
// the same results log under an exclusive lock; a share mounted so that its
// locks stay on this PC (cifs with "nobrl", NFS with "nolock" or
// "local_lock=all" or "posix") lets two PCs write at the same place, and a
// result is silently overwritten.
#include <optional>
#include <string>

#include "platform/MountTable.h"

namespace kestrel {

// The option of the mount that keeps its locks local, if any.
std::optional<std::string> localLockOption(const Mount& mount);

// The teacher's message: the folder, the mount and the option to remove.
std::string localLocksMessage(const std::string& folder, const Mount& mount,
                              const std::string& option);

} // namespace kestrel
