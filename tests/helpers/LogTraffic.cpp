// Before-change traffic probe (temporary).
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

static void phase(const char* name) {
    std::string s = std::string("phase ") + name + "\n";
    (void)!::write(2, s.data(), s.size());
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string mode = argv[1];
    const std::string folder = argv[2];
    const int n = std::stoi(argv[3]);
    if (mode == "make") {
        std::mt19937 rng(7);
        std::string bytes;
        const double today = static_cast<double>(dayNumber(SystemClock().today()));
        for (int i = 0; i < n; ++i) {
            ResultRecord r;
            r.date = today - (n - i) / 500;
            r.timeOfDay = (rng() % 86400) / 86400.0;
            r.studentNumber = static_cast<int16_t>(1 + rng() % 30);
            r.level = static_cast<int16_t>(1 + rng() % 5);
            r.seconds = 20 + rng() % 300;
            const ResultBytes b = encodeResultRecord(r);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        std::ofstream(folder + "/" + kResultsLogName, std::ios::binary) << bytes;
        return 0;
    }
    helper::HelperContext pc(folder + "/");
    for (int l = 1; l <= 5; ++l) pc.ctx.criteria[l].targetTime = 60;
    helper::HelperContext other(folder + "/");
    phase("first");
    BuildSummary(pc.ctx);
    if (mode == "activation") {
        phase("appends");
        other.ctx.state.CurrentStudentNumber = 3;
        other.ctx.state.RunTime = 77;
        for (int i = 0; i < n; ++i) AppendResult(resultsLog(other.ctx), currentRunRecord(other.ctx, 2));
        phase("activation");
        BuildSummary(pc.ctx);
        phase("endscreen");
        BuildSummary(pc.ctx);
        phase("todayview");
        ViewSetup setup;
        ViewScan scan(setup, pc.ctx.roster, pc.ctx.criteria);
        ReadRecentResults(pc.ctx, scan, kTodayViewRecords);
        phase("graph");
        RunCollector c;
        ReadRecentResults(pc.ctx, c, kAllRunsViewRecords);
        phase("end");
    } else if (mode == "keystrokes") {
        phase("editor-open");
        TimeHistograms h;
        cachedTimeHistograms(resultsLog(pc.ctx), pc.ctx.resultsWindow, *pc.ctx.histograms, 1, h);
        phase("keystrokes");
        for (int i = 0; i < n; ++i) cachedTimeHistograms(resultsLog(pc.ctx), pc.ctx.resultsWindow, *pc.ctx.histograms, 1 + i % 5, h);
        phase("end");
    }
    return 0;
}
