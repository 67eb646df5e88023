#include "platform/PosixMountTable.h"

#include <cerrno>
#include <fstream>
#include <sstream>

#include "platform/PosixSharedFile.h"

namespace kestrel {

// Read as a stream: the kernel tells no length for it.
FileStatus ProcMountTable::mounts(std::vector<Mount>& out) {
    out.clear();
    errno = 0;
    std::ifstream in(kPath);
    if (!in) return posixFileStatus(errno != 0 ? errno : EIO);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return posixFileStatus(errno != 0 ? errno : EIO);
    out = parseMountInfo(text.str());
    // Every process has a root: a table without it was not read.
    if (out.empty()) return FileStatus::inputOutputError();
    return FileStatus::success();
}

} // namespace kestrel
