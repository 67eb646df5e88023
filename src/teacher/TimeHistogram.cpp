#include "teacher/TimeHistogram.h"

#include <algorithm>
#include <limits>

#include "results/ResultRecord.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {
namespace {

constexpr int32_t kNoBest = std::numeric_limits<int32_t>::max();
constexpr size_t kStudentSlots = 65536; // every 16-bit student number

const char* const kStar = "★";

size_t studentSlot(int16_t student) {
    return static_cast<uint16_t>(student);
}

class HistogramReader : public LogReader {
public:
    HistogramReader(int level, TimeHistograms& out) : m_level(level), m_out(out) {}

    void begin() override {
        m_out = TimeHistograms{};
        m_out.level = m_level;
        m_best.assign(kStudentSlots, kNoBest);
    }
    void block(const unsigned char* bytes, size_t count) override {
        addToHistograms(bytes, count, m_level, m_best, m_out);
    }
    void finish() {
        for (int32_t best : m_best)
            if (best != kNoBest)
                ++m_out.bestTimes[static_cast<size_t>(histogramBin(best, kBestTimesLastBin))];
    }

private:
    int m_level;
    TimeHistograms& m_out;
    std::vector<int32_t> m_best; // by student slot
};

std::string rightAligned(int64_t n, size_t width) {
    std::string text = std::to_string(n);
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::vector<std::string> binLines(std::string heading,
                                  const std::array<int64_t, kHistogramBins>& bins, int64_t scale) {
    std::vector<std::string> lines;
    lines.reserve(kHistogramBins + 1);
    lines.push_back(std::move(heading));
    for (int k = 0; k < kHistogramBins; ++k) {
        const auto stars = static_cast<int64_t>(
            static_cast<double>(bins[static_cast<size_t>(k)]) / static_cast<double>(scale) + 0.5);
        std::string line = rightAligned(10 * k, 4) + "～";
        for (int64_t i = 0; i < stars; ++i)
            line += kStar;
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace

int histogramBin(int64_t seconds, int lastBin) {
    if (seconds < 0) return 0;
    return static_cast<int>(std::min<int64_t>(seconds / 10, lastBin));
}

void addToHistograms(const unsigned char* records, size_t count, int level,
                     std::vector<int32_t>& bestByStudent, TimeHistograms& out) {
    for (size_t i = 0; i < count; ++i) {
        const RecordedRun run = decodeRecordedRun(records + i * kResultRecordSize);
        if (run.level != level) continue;
        ++out.total;
        ++out.allRuns[static_cast<size_t>(histogramBin(run.seconds, kAllRunsLastBin))];
        int32_t& best = bestByStudent[studentSlot(run.studentNumber)];
        best = std::min(best, run.seconds);
    }
}

LogStatus buildTimeHistograms(const LogAccess& log, int level, TimeHistograms& out) {
    out = TimeHistograms{};
    out.level = level;
    // Records of levels outside 1..35 are passed over: such a level has none.
    if (level < 1 || level > kMaxLevel) return {};
    HistogramReader reader(level, out);
    const LogStatus status = readResultsLog(log, reader, {kWholeLog});
    if (status.ok()) reader.finish();
    return status;
}

class HistogramCache::Rebuild : public LogReader {
public:
    explicit Rebuild(HistogramCache& cache) : m_cache(cache) {}
    void begin() override { m_cache.clear(); }
    void block(const unsigned char* bytes, size_t count) override { m_cache.add(bytes, count); }

private:
    HistogramCache& m_cache;
};

HistogramCache::HistogramCache() {
    clear();
}

void HistogramCache::clear() {
    m_valid = false;
    m_records = 0;
    m_total.fill(0);
    for (auto& bins : m_allRuns)
        bins.fill(0);
    for (auto& bins : m_bestTimes)
        bins.fill(0);
    for (auto& best : m_best)
        best.clear();
}

void HistogramCache::add(const unsigned char* records, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const RecordedRun run = decodeRecordedRun(records + i * kResultRecordSize);
        if (run.level < 1 || run.level > kMaxLevel) continue;
        const auto L = static_cast<size_t>(run.level);
        const int32_t seconds = run.seconds;
        ++m_total[L];
        ++m_allRuns[L][static_cast<size_t>(histogramBin(seconds, kAllRunsLastBin))];
        std::vector<int32_t>& best = m_best[L];
        if (best.empty()) best.assign(kStudentSlots, kNoBest);
        int32_t& b = best[studentSlot(run.studentNumber)];
        // A student's best moves to a faster bin as it improves.
        if (b == kNoBest) {
            ++m_bestTimes[L][static_cast<size_t>(histogramBin(seconds, kBestTimesLastBin))];
            b = seconds;
        } else if (seconds < b) {
            --m_bestTimes[L][static_cast<size_t>(histogramBin(b, kBestTimesLastBin))];
            ++m_bestTimes[L][static_cast<size_t>(histogramBin(seconds, kBestTimesLastBin))];
            b = seconds;
        }
    }
    m_records += count;
}

LogStatus HistogramCache::update(const LogAccess& log, LogWindow& window) {
    Rebuild rebuild(*this);
    WindowLoadOptions options;
    options.everyRecord = &rebuild;
    // Nothing to build on: the whole log, unless the window holds all of it.
    options.readWhole = !m_valid && !(window.valid && window.first == 0);
    for (int pass = 0; pass < 2; ++pass) {
        const LogStatus status = loadLogWindow(log, window, options);
        if (!status.ok()) {
            clear();
            return status;
        }
        // A whole read gave every record to the rebuild.
        const bool built = window.lastWhole;
        if (!built && !m_valid && window.first == 0) {
            clear();
            add(window.bytes.data(), window.windowRecords());
        } else if (!built) {
            // Only grown since the figures were made: add what they lack,
            // when the window still holds it.
            if (window.wholeReads != m_wholeReads || m_records < window.first ||
                m_records > window.records) {
                options.readWhole = true;
                continue;
            }
            const uint64_t from = m_records - window.first;
            add(window.bytes.data() + from * kResultRecordSize, window.windowRecords() - from);
        }
        m_valid = true;
        m_records = window.records;
        m_wholeReads = window.wholeReads;
        return status;
    }
    return {};
}

TimeHistograms HistogramCache::histograms(int level) const {
    TimeHistograms h;
    h.level = level;
    if (!m_valid || level < 1 || level > kMaxLevel) return h;
    const auto L = static_cast<size_t>(level);
    h.total = m_total[L];
    h.allRuns = m_allRuns[L];
    h.bestTimes = m_bestTimes[L];
    return h;
}

LogStatus cachedTimeHistograms(const LogAccess& log, LogWindow& window, HistogramCache& cache,
                               int level, TimeHistograms& out) {
    const LogStatus status = cache.update(log, window);
    out = cache.histograms(level);
    return status;
}

int64_t histogramScale(const std::array<int64_t, kHistogramBins>& bins) {
    const int64_t largest = *std::max_element(bins.begin(), bins.end());
    const int64_t scale = largest / 10;
    return scale == 0 ? 1 : scale;
}

std::vector<std::string> allRunsLines(const TimeHistograms& h) {
    const int64_t scale = histogramScale(h.allRuns);
    return binLines("レベル" + std::to_string(h.level) + " 今まで" + std::to_string(h.total) +
                        "回  （★=" + std::to_string(scale) + "）",
                    h.allRuns, scale);
}

std::vector<std::string> bestTimesLines(const TimeHistograms& h) {
    const int64_t scale = histogramScale(h.bestTimes);
    return binLines("レベル" + std::to_string(h.level) + " （★=" + std::to_string(scale) + "）",
                    h.bestTimes, scale);
}

} // namespace kestrel
