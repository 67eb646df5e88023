// Appends `count` records to the results log of `dataFolder` as writer `id`,
// pausing `pauseMicros` after each (none when not given).
// Usage: ResultsWriter dataFolder id count [pauseMicros]
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "HelperServices.h"
#include "context/Procedures.h"

using namespace kestrel;

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s dataFolder id count [pauseMicros]\n", argv[0]);
        return 2;
    }
    helper::HelperContext h(argv[1]);
    const int id = std::stoi(argv[2]);
    const int count = std::stoi(argv[3]);
    const int pauseMicros = argc > 4 ? std::stoi(argv[4]) : 0;
    h.ctx.config.SchoolCode = "W" + std::to_string(id);
    h.ctx.state.CurrentStudentNumber = static_cast<int16_t>(id);
    for (int seq = 0; seq < count; ++seq) {
        h.ctx.state.CurrentLevel = helper::levelOfSequence(seq);
        h.ctx.state.RunTime = helper::secondsOf(id, seq);
        const ResultRecord record = currentRunRecord(h.ctx, h.ctx.state.CurrentLevel);
        if (!AppendResult(resultsLog(h.ctx), record).ok()) return 1;
        if (pauseMicros > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros));
    }
    return 0;
}
