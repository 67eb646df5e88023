#include "results/ResultsSummary.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

ResultsSummary::ResultsSummary() {
    clearCounts();
    clearBestTimes();
}

void ResultsSummary::clearCounts() {
    // Plain arrays of integers and floats: all-zero bytes are zero values.
    std::memset(&countAll, 0, sizeof countAll);
    std::memset(&countPass, 0, sizeof countPass);
    std::memset(&countLimit, 0, sizeof countLimit);
    std::memset(&countToday, 0, sizeof countToday);
    std::memset(&pointsAll, 0, sizeof pointsAll);
    std::memset(&pointsPass, 0, sizeof pointsPass);
    std::memset(&pointsLimit, 0, sizeof pointsLimit);
    std::memset(&pointsToday, 0, sizeof pointsToday);
}

void ResultsSummary::clearBestTimes() {
    for (auto& row : bestTime)
        row.fill(kNoTime);
    overallBest.fill(kNoTime);
}

} // namespace kestrel
