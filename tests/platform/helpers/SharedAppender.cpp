// Appends numbered records to a shared file through the build's real file
// layer, as the PCs append results: exclusive lock, length, write, sync.
//   SharedAppender FILE TAG COUNT
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/SystemFiles.h"

using namespace kestrel;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: SharedAppender FILE TAG COUNT\n");
        return 2;
    }
    const std::filesystem::path file = std::filesystem::u8path(argv[1]);
    const std::string tag = argv[2];
    const int count = std::stoi(argv[3]);
    test::SystemSharedFileSystem files;
    for (int i = 0; i < count; ++i) {
        char record[32];
        std::snprintf(record, sizeof record, "%s:%06d\n", tag.c_str(), i);
        for (int attempt = 0;; ++attempt) {
            FileStatus s;
            std::unique_ptr<SharedFile> f = files.open(file, SharedAccess::Write, s);
            if (f) s = f->lockExclusive();
            uint64_t end = 0;
            if (s.ok()) s = f->size(end);
            if (s.ok()) s = f->writeAt(end, record, std::char_traits<char>::length(record));
            if (s.ok()) s = f->sync();
            if (f) {
                const FileStatus closed = f->close();
                if (s.ok()) s = closed;
            }
            if (s.ok()) break;
            if (s.fault != FileFault::Sharing || attempt > 100000) {
                std::fprintf(stderr, "record %d: %s\n", i, s.description.c_str());
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    return 0;
}
