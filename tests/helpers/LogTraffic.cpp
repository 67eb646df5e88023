// What the screens read from the results log, step by step, for strace to
// count (scripts/log-traffic.sh): each step begins with "phase NAME" on
// stderr. The screens' own procedures run on the data folder, with the
// demo's levels.
// Usage:
//   LogTraffic make dataFolder records      a log of that many runs
//   LogTraffic activation dataFolder k      the name screen, k runs of
//       another PC, then the menu's activation, the end screen, today's
//       list and the graph panel
//   LogTraffic keystrokes dataFolder n      the name screen, the criteria
//       editor opening, then n keys in it
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

#include "HelperServices.h"
#include "context/Procedures.h"
#include "levelmenu/Graph.h"
#include "levelmenu/ResultsViews.h"
#include "startup/Calendar.h"
#include "teacher/TimeHistogram.h"

using namespace kestrel;

namespace {

void phase(const char* name) {
    const std::string line = std::string("phase ") + name + "\n";
    if (::write(2, line.data(), line.size()) < 0) std::perror("write");
}

void makeLog(const std::string& folder, int records) {
    std::mt19937 rng(7);
    const double today = static_cast<double>(dayNumber(SystemClock().today()));
    std::string bytes;
    for (int i = 0; i < records; ++i) {
        ResultRecord r;
        r.date = today - (records - i) / 500;
        r.timeOfDay = static_cast<double>(rng() % 86400) / 86400.0;
        r.studentNumber = static_cast<int16_t>(1 + rng() % 30);
        r.level = static_cast<int16_t>(1 + rng() % 5);
        r.seconds = static_cast<int32_t>(20 + rng() % 300);
        const ResultBytes b = encodeResultRecord(r);
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    std::ofstream(folder + "/" + kResultsLogName, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s make|activation|keystrokes dataFolder number\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const std::string folder = argv[2];
    const int n = std::stoi(argv[3]);
    if (mode == "make") {
        makeLog(folder, n);
        return 0;
    }
    helper::HelperContext pc(folder + "/");
    for (int level = 1; level <= 5; ++level)
        pc.ctx.criteria[level].targetTime = 60;
    phase("first");
    if (!BuildSummary(pc.ctx)) return 1;
    if (mode == "activation") {
        phase("appends");
        helper::HelperContext other(folder + "/");
        other.ctx.state.CurrentStudentNumber = 3;
        other.ctx.state.RunTime = 77;
        for (int i = 0; i < n; ++i)
            if (!AppendResult(resultsLog(other.ctx), currentRunRecord(other.ctx, 2)).ok()) return 1;
        phase("activation");
        if (!BuildSummary(pc.ctx)) return 1;
        phase("endscreen");
        if (!BuildSummary(pc.ctx)) return 1;
        phase("todayview");
        ViewScan today(ViewSetup{}, pc.ctx.roster, pc.ctx.criteria);
        if (!ReadRecentResults(pc.ctx, today, kTodayViewRecords)) return 1;
        phase("graph");
        RunCollector runs;
        if (!ReadRecentResults(pc.ctx, runs, kAllRunsViewRecords)) return 1;
    } else if (mode == "keystrokes") {
        const LogAccess log = resultsLog(pc.ctx);
        TimeHistograms h;
        HistogramCache cache; // the criteria editor's, kept between keys
        phase("editor");
        if (!cachedTimeHistograms(log, pc.ctx.resultsWindow, cache, 1, h).ok()) return 1;
        phase("keystrokes");
        for (int i = 0; i < n; ++i)
            if (!cachedTimeHistograms(log, pc.ctx.resultsWindow, cache, 1 + i % 5, h).ok())
                return 1;
    } else {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    phase("end");
    return 0;
}
