#pragma once
// How the times recorded so far for one level are spread, so that the
// teacher can set its target times from real runs: every run in bins of ten
// seconds, and each student's best time likewise. Made from the whole
// results log, and kept up to date from what is appended to it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "results/ResultsLogIO.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

inline constexpr int kHistogramBins = 101;   // bins 0..100, 10 seconds each
inline constexpr int kAllRunsLastBin = 100;  // 1000 seconds and more, time-outs among them
inline constexpr int kBestTimesLastBin = 30; // 300 seconds and more

struct TimeHistograms {
    int level = 0;
    int64_t total = 0; // records of the level, time-outs included
    std::array<int64_t, kHistogramBins> allRuns{};
    // One entry per student with a record of the level: their lowest seconds.
    std::array<int64_t, kHistogramBins> bestTimes{};
};

// The bin of a time: seconds / 10, at most `lastBin`. A negative time
// (a damaged record) counts in bin 0.
int histogramBin(int64_t seconds, int lastBin);

// Reads every record of the log; records of other levels, and of levels
// outside 1..35, are passed over. Waits for a log held by another PC.
LogStatus buildTimeHistograms(const LogAccess& log, int level, TimeHistograms& out);
// The same from records in memory, kResultRecordSize bytes each.
void addToHistograms(const unsigned char* records, size_t count, int level,
                     std::vector<int32_t>& bestByStudent, TimeHistograms& out);

// The histograms of every level over the whole log, kept between keys: a
// key on a log that has not changed reads no record, and records appended
// meanwhile are added as they come. The figures are always those of
// buildTimeHistograms on the log as it stands.
class HistogramCache {
public:
    HistogramCache();
    // Brings the figures up to the log through `window` (see LogWindow):
    // only what was appended is read while the log only grew; anything else
    // reads the whole log once more. Nothing is kept after a failure.
    LogStatus update(const LogAccess& log, LogWindow& window);
    // The histograms of `level` as of the last update.
    TimeHistograms histograms(int level) const;

private:
    class Rebuild;
    void clear();
    void add(const unsigned char* records, size_t count);

    bool m_valid = false;
    uint64_t m_records = 0;    // records of the log counted
    uint64_t m_wholeReads = 0; // the window's whole reads when they were
    std::array<int64_t, kMaxLevel + 1> m_total{};
    std::array<std::array<int64_t, kHistogramBins>, kMaxLevel + 1> m_allRuns{};
    std::array<std::array<int64_t, kHistogramBins>, kMaxLevel + 1> m_bestTimes{};
    // Per level the best time of every 16-bit student number, made when
    // the level's first record comes.
    std::array<std::vector<int32_t>, kMaxLevel + 1> m_best;
};

// The histograms of `level` for a key in the editor, from `cache` brought up
// to the log.
LogStatus cachedTimeHistograms(const LogAccess& log, LogWindow& window, HistogramCache& cache,
                               int level, TimeHistograms& out);

// Stars stand for `scale` runs each: a tenth of the largest bin, at least 1.
int64_t histogramScale(const std::array<int64_t, kHistogramBins>& bins);

// The lists beside the editor's grid: a heading, then one line per bin,
// "  10～★★".
std::vector<std::string> allRunsLines(const TimeHistograms& h);   // List3
std::vector<std::string> bestTimesLines(const TimeHistograms& h); // List4

} // namespace kestrel
