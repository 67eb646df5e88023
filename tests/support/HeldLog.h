#pragma once
// The results log held by "another PC": an exclusive lock of a real
// descriptor, so that every read of the log meets a sharing error and waits
// until the test lets go.
#include <filesystem>
#include <memory>

#include "support/SystemFiles.h"

namespace kestrel::test {

class HeldLog {
public:
    explicit HeldLog(const std::filesystem::path& log) {
        FileStatus status;
        m_file = m_files.open(log, SharedAccess::Write, status);
        if (m_file) (void)m_file->lockExclusive();
    }
    bool held() const { return m_file != nullptr; }
    void release() {
        if (m_file) (void)m_file->close();
        m_file.reset();
    }

private:
    SystemSharedFileSystem m_files;
    std::unique_ptr<SharedFile> m_file;
};

} // namespace kestrel::test
