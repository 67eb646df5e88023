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
        const unsigned char* r = records + i * kResultRecordSize;
        const auto recordLevel = static_cast<int16_t>(le::read<uint16_t>(&r[18]));
        if (recordLevel != level) continue;
        const auto seconds = static_cast<int32_t>(le::read<uint32_t>(&r[20]));
        ++out.total;
        ++out.allRuns[static_cast<size_t>(histogramBin(seconds, kAllRunsLastBin))];
        int32_t& best =
            bestByStudent[studentSlot(static_cast<int16_t>(le::read<uint16_t>(&r[16])))];
        best = std::min(best, seconds);
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
