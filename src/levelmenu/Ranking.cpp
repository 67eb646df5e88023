#include "levelmenu/Ranking.h"

#include <algorithm>
#include <limits>

#include "roster/Grades.h"
#include "text/Characters.h"
#include "text/SortedLines.h"

namespace kestrel {
namespace {

constexpr int32_t kFailedBest = 99998; // best time of a student whose every run failed
constexpr const char* kOwnMark = "●";
constexpr const char* kIdeographicSpace = "　";

// Smaller keys rank first. The second value only orders students whose
// first values are equal, so it is held below 1000: a student with more
// than 999 points in the second value would otherwise pass one with more
// points in the first.
int32_t pointsKey(int32_t first, int32_t second) {
    const int64_t key =
        1000000 - static_cast<int64_t>(first) * 1000 - std::clamp<int64_t>(second, 0, 999);
    return static_cast<int32_t>(std::clamp<int64_t>(key, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

RankingBasis rankingBasis(int16_t displayMode, int16_t rankingKind) {
    if (displayMode != 2) return RankingBasis::BestTime;
    return rankingKind == 2 ? RankingBasis::PointsToday : RankingBasis::PointsAll;
}

std::string rankField(int rank) {
    if (rank >= 100) return std::to_string(rank);
    return rightChars(signedField(rank), 2);
}

std::string rankingNameField(std::string_view name) {
    size_t end = name.size();
    while (end > 0 && name[end - 1] == ' ')
        --end;
    std::string field = firstCharacters(name.substr(0, end), 5);
    for (size_t n = characterCount(field); n < 5; ++n)
        field += kIdeographicSpace;
    return field;
}

std::vector<RankingLine> buildRanking(const RosterTables& roster, const ResultsSummary& summary,
                                      int level, RankingBasis basis, std::string_view gradeGroup,
                                      int signedInStudent) {
    std::vector<RankingLine> lines;
    if (level < 1 || level > kMaxLevel) return lines;
    const auto L = static_cast<size_t>(level);

    // The roster's students with their keys, in roster order.
    struct Keyed {
        int32_t key;
        int16_t student;
    };
    std::vector<Keyed> sorted;
    const int count = std::min<int>(roster.RosterCount, kMaxStudent);
    sorted.reserve(static_cast<size_t>(count));
    for (int p = 1; p <= count; ++p) {
        const int16_t s = roster.RosterNumbers[static_cast<size_t>(p)];
        if (s < 0 || s > kMaxStudent) continue;
        const auto S = static_cast<size_t>(s);
        int32_t key = summary.bestTime[L][S];
        if (basis == RankingBasis::PointsAll)
            key = pointsKey(summary.pointsAll[L][S], summary.pointsToday[L][S]);
        else if (basis == RankingBasis::PointsToday)
            key = pointsKey(summary.pointsToday[L][S], summary.pointsAll[L][S]);
        sorted.push_back({key, s});
    }
    // Smaller keys first, students of equal keys in roster order.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    const int n = static_cast<int>(sorted.size());

    auto compared = [&](size_t s) -> int32_t {
        switch (basis) {
        case RankingBasis::PointsAll:
            return summary.pointsAll[L][s];
        case RankingBasis::PointsToday:
            return summary.pointsToday[L][s];
        case RankingBasis::BestTime:
            break;
        }
        return summary.bestTime[L][s];
    };

    const int student = signedInStudent;
    int rank = 0;
    int32_t previous = 0;
    lines.reserve(static_cast<size_t>(n));
    for (int k = 1; k <= n; ++k) {
        const auto S = static_cast<size_t>(sorted[static_cast<size_t>(k - 1)].student);
        const int32_t value = compared(S);
        if (k == 1 || value != previous) rank = k;
        previous = value;

        const int grade = GradeNumber(roster.SchoolYear, roster.BirthYears[S]);
        if (!InGradeGroup(grade, gradeGroup)) continue;
        const int32_t today = summary.pointsToday[L][S];
        if (basis == RankingBasis::PointsToday && today == 0) continue;

        const bool own = static_cast<int>(S) == student;
        std::string text;
        text.reserve(64);
        const bool noRun = basis == RankingBasis::BestTime && summary.bestTime[L][S] == kNoTime;
        text += noRun ? std::string("--") : rankField(rank);
        text += own ? kOwnMark : GradeMark(grade);
        text += rankingNameField(roster.StudentNames[S]);
        if (basis == RankingBasis::BestTime) {
            const int32_t best = summary.bestTime[L][S];
            if (noRun)
                text += "------";
            else if (best == kFailedBest)
                text += "*失敗*";
            else
                text += rightChars("    " + signedField(best), 6);
            text += " ";
            text += own ? kOwnMark : kIdeographicSpace;
        } else {
            text += rightChars("    " + std::to_string(today), 3);
            text += "/";
            text += rightChars("    " + std::to_string(summary.pointsAll[L][S]), 5);
        }
        lines.push_back({std::move(text), static_cast<int>(S), rank});
    }
    return lines;
}

void sortTiesAsListed(std::vector<RankingLine>& lines) {
    // Lines of one rank share their rank field, so the list's order among
    // them is that of their texts' sort keys (made for tied lines only).
    std::vector<std::string> keys(lines.size());
    const auto listed = [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; };
    std::vector<uint32_t> order;
    std::vector<RankingLine> group;
    for (size_t first = 0; first < lines.size();) {
        size_t end = first + 1;
        while (end < lines.size() && lines[end].rank == lines[first].rank)
            ++end;
        if (end - first > 1) {
            order.resize(end - first);
            for (size_t k = first; k < end; ++k) {
                order[k - first] = static_cast<uint32_t>(k);
                keys[k] = SortedLines::sortKey(lines[k].text);
            }
            if (!std::is_sorted(order.begin(), order.end(), listed)) {
                std::stable_sort(order.begin(), order.end(), listed);
                group.clear();
                for (const uint32_t k : order)
                    group.push_back(std::move(lines[k]));
                std::move(group.begin(), group.end(),
                          lines.begin() + static_cast<ptrdiff_t>(first));
            }
        }
        first = end;
    }
}

} // namespace kestrel
