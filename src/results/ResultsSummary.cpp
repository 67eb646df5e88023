#include "results/ResultsSummary.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

ResultsSummary::ResultsSummary() {
    clearCounts();
    clearBestTimes();
}

void ResultsSummary::clearCounts() {
    // The count and points tables follow one another to the end of the
    // object: one memset clears them all.
    auto* from = reinterpret_cast<unsigned char*>(&countAll);
    auto* to = reinterpret_cast<unsigned char*>(&pointsToday) + sizeof pointsToday;
    std::memset(from, 0, static_cast<size_t>(to - from));
}

void ResultsSummary::clearBestTimes() {
    // One run over the whole table: row by row is several times slower.
    std::fill_n(bestTime.front().data(), bestTime.size() * bestTime.front().size(), kNoTime);
    overallBest.fill(kNoTime);
}

} // namespace kestrel
