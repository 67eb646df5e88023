// Stands for a PC that dies in the middle of an append: locks the results
// log of `dataFolder`, writes the first half of a record at its end, creates
// `readyFile` and sleeps until it is killed.
// Usage: ResultsHalfWriter dataFolder readyFile
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/PosixSharedFile.h"
#include "results/ResultRecord.h"

using namespace kestrel;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s dataFolder readyFile\n", argv[0]);
        return 2;
    }
    PosixSharedFileSystem files;
    FileStatus s;
    auto file =
        files.open(std::filesystem::path(argv[1]) / kResultsLogName, SharedAccess::Write, s);
    if (!file || !file->lockExclusive().ok()) return 1;
    uint64_t length = 0;
    if (!file->size(length).ok()) return 1;
    ResultRecord r;
    r.studentNumber = 99;
    r.level = 1;
    r.seconds = 12345;
    const ResultBytes bytes = encodeResultRecord(r);
    if (!file->writeAt(length / kResultRecordSize * kResultRecordSize, bytes.data(), 22).ok())
        return 1;
    std::ofstream(argv[2]) << "locked\n";
    std::this_thread::sleep_for(std::chrono::seconds(120));
    return 3; // should have been killed long before
}
