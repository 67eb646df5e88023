// Loads the results log of `dataFolder` again and again until the file
// `stopFile` exists (then once more), checking every load: each writer's
// records stand in order 0, 1, 2, ... with none missing, doubled or torn,
// and no load holds fewer of the writers' records than the one before.
// With "edited", the log also holds records a teacher deletes and corrects
// meanwhile (student numbers from 4000): those must stand in the order they
// were written, none doubled, and loads may shrink by the deleted ones.
// With "sharedOnly", no load may ask for the exclusive lock.
// Usage: ResultsReader dataFolder stopFile writers [edited | sharedOnly]
// Exits 0 when every load was sound; prints the first fault otherwise.
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "HelperServices.h"
#include "context/Procedures.h"
#include "platform/PosixFileCalls.h"
#include "platform/SharedFile.h"

using namespace kestrel;

namespace {

constexpr int kTeachersRecords = 4000;

// The system's calls, counting the exclusive locks asked for.
struct CountingCalls : SystemFileCalls {
    int exclusive = 0;
    int lockWhole(int fd, short type) override {
        if (type == F_WRLCK) ++exclusive;
        return SystemFileCalls::lockWhole(fd, type);
    }
};

// The number of the writers' records in the load, or -1 with `fault` set.
int checkLoad(const RunEntries& entries, int writers, bool edited, std::string& fault) {
    std::vector<int> next(static_cast<size_t>(writers) + 1, 0);
    int32_t lastEdited = INT32_MIN;
    int count = 0;
    for (const RunEntry& e : entries.entrySlots) {
        const int id = e.studentNumber;
        if (edited && id >= kTeachersRecords) {
            if (e.seconds <= lastEdited) {
                fault = "a teacher's record out of order or doubled: seconds " +
                        std::to_string(e.seconds);
                return -1;
            }
            lastEdited = e.seconds;
            continue;
        }
        if (id < 1 || id > writers) {
            fault = "student " + std::to_string(id);
            return -1;
        }
        const int seq = e.seconds - helper::secondsOf(id, 0);
        if (seq != next[static_cast<size_t>(id)] || e.level != helper::levelOfSequence(seq)) {
            fault = "writer " + std::to_string(id) + " seconds " + std::to_string(e.seconds) +
                    " level " + std::to_string(e.level) + ", expected sequence " +
                    std::to_string(next[static_cast<size_t>(id)]);
            return -1;
        }
        ++next[static_cast<size_t>(id)];
        ++count;
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 5 ? argv[4] : "";
    const bool edited = mode == "edited";
    const bool sharedOnly = mode == "sharedOnly";
    if (argc != 4 && !edited && !sharedOnly) {
        std::fprintf(stderr, "usage: %s dataFolder stopFile writers [edited | sharedOnly]\n",
                     argv[0]);
        return 2;
    }
    helper::HelperContext h(argv[1]);
    CountingCalls calls;
    h.ctx.sharedFiles = std::make_unique<PosixSharedFileSystem>(calls);
    const std::filesystem::path stop = argv[2];
    const int writers = std::stoi(argv[3]);
    int loads = 0;
    int32_t last = 0;
    for (bool stopping = false;;) {
        stopping = std::filesystem::exists(stop);
        if (!LoadResults(h.ctx)) return 1;
        ++loads;
        std::string fault;
        const int count = checkLoad(h.ctx.runEntries, writers, edited, fault);
        if (count < 0) {
            std::fprintf(stderr, "load %d: %s\n", loads, fault.c_str());
            return 1;
        }
        if (count < last) {
            std::fprintf(stderr, "load %d: %d records after %d\n", loads, count, last);
            return 1;
        }
        last = count;
        if (sharedOnly && calls.exclusive > 0) {
            std::fprintf(stderr, "load %d asked for the exclusive lock\n", loads);
            return 1;
        }
        if (stopping) break;
        // A breath between loads, as a screen leaves between two views:
        // three readers that never let go would keep the shared lock held
        // between them, and writers would wait until the readers are done.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("%d loads, last %d records\n", loads, last);
    return 0;
}
