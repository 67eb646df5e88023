// Loads the results log of `dataFolder` again and again until the file
// `stopFile` exists (then once more), checking every load: each writer's
// records stand in order 0, 1, 2, ... with none missing, doubled or torn,
// and no load holds fewer records than the one before.
// Usage: ResultsReader dataFolder stopFile writers
// Exits 0 when every load was sound; prints the first fault otherwise.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "HelperServices.h"
#include "context/Procedures.h"

using namespace kestrel;

namespace {

bool checkLoad(const RunEntries& entries, int writers, std::string& fault) {
    std::vector<int> next(static_cast<size_t>(writers) + 1, 0);
    for (const RunEntry& e : entries.entrySlots) {
        const int id = e.studentNumber;
        if (id < 1 || id > writers) {
            fault = "student " + std::to_string(id);
            return false;
        }
        const int seq = e.seconds - helper::secondsOf(id, 0);
        if (seq != next[static_cast<size_t>(id)] || e.level != helper::levelOfSequence(seq)) {
            fault = "writer " + std::to_string(id) + " seconds " + std::to_string(e.seconds) +
                    " level " + std::to_string(e.level) + ", expected sequence " +
                    std::to_string(next[static_cast<size_t>(id)]);
            return false;
        }
        ++next[static_cast<size_t>(id)];
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s dataFolder stopFile writers\n", argv[0]);
        return 2;
    }
    helper::HelperContext h(argv[1]);
    const std::filesystem::path stop = argv[2];
    const int writers = std::stoi(argv[3]);
    int loads = 0;
    int32_t last = 0;
    for (bool stopping = false;;) {
        stopping = std::filesystem::exists(stop);
        if (!LoadResults(h.ctx)) return 1;
        ++loads;
        std::string fault;
        if (!checkLoad(h.ctx.runEntries, writers, fault)) {
            std::fprintf(stderr, "load %d: %s\n", loads, fault.c_str());
            return 1;
        }
        if (h.ctx.runEntries.count() < last) {
            std::fprintf(stderr, "load %d: %d records after %d\n", loads, h.ctx.runEntries.count(),
                         last);
            return 1;
        }
        last = h.ctx.runEntries.count();
        if (stopping) break;
    }
    std::printf("%d loads, last %d records\n", loads, last);
    return 0;
}
