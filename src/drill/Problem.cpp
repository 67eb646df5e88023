#include "drill/Problem.h"

#include <cmath>
#include <cstdint>

namespace kestrel {

namespace {

int64_t powerOfTen(int exponent) {
    int64_t p = 1;
    for (int i = 0; i < exponent; ++i)
        p *= 10;
    return p;
}

// The digit of place j (1 = ones) of a right-aligned text; a space, or a
// place beyond the text, reads as 0.
int digitAt(std::string_view text, int place) {
    const auto index = static_cast<std::ptrdiff_t>(text.size()) - place;
    if (place < 1 || index < 0) return 0;
    const char c = text[static_cast<size_t>(index)];
    return c >= '0' && c <= '9' ? c - '0' : 0;
}

void cross(Working& w, int place) {
    if (place >= 1 && place < static_cast<int>(w.crossed.size())) w.crossed[place] = true;
}

} // namespace

int problemTypeForLevel(int level, Random& random) {
    if (level >= 1 && level <= 4) return level;
    return drawInt(random.next(), 3, 2);
}

Problem drawProblem(int problemType, Random& random) {
    const int number =
        problemType == 1 ? drawInt(random.next(), 99, 1) : drawInt(random.next(), 9000, 1000);
    const int textLength = static_cast<int>(std::to_string(number).size()) + 2;
    const int roundPlace = drawInt(random.next(), textLength - 3, 1);
    return makeProblem(problemType, number, roundPlace);
}

Problem makeProblem(int problemType, int number, int roundPlace) {
    Problem p;
    p.ProblemType = problemType;
    p.number = number;
    p.ProblemText = "  " + std::to_string(number);
    p.RoundPlace = roundPlace;
    // Half up: adding half a unit of the place above, then cutting off.
    const int64_t unit = powerOfTen(roundPlace);
    p.CorrectAnswer = static_cast<double>((number + unit / 2) / unit * unit);
    p.instruction = instructionText(problemType, roundPlace);
    return p;
}

std::string instructionText(int problemType, int roundPlace) {
    auto placeName = [](int place) {
        return place >= 1 && place < static_cast<int>(PlaceNames.size())
                   ? std::string(PlaceNames[static_cast<size_t>(place)])
                   : std::string();
    };
    switch (problemType) {
    case 3:
        return placeName(roundPlace + 1) + "の位までの概数にしなさい";
    case 4:
        return "上から" + std::to_string(4 - roundPlace) + "桁の概数にしなさい";
    default:
        return placeName(roundPlace) + "の位を四捨五入しなさい";
    }
}

Working workingFor(std::string_view problemText, int roundPlace) {
    Working w;
    const int k = roundPlace;
    if (k < 1) return w;
    cross(w, k);
    if (digitAt(problemText, k) < 5) return w;
    const std::string spaces(static_cast<size_t>(k), ' ');
    for (int m = 1; m <= 6; ++m) {
        const int d = digitAt(problemText, k + m);
        if (d != 9) {
            w.carryRow =
                std::to_string(d + 1) + std::string(static_cast<size_t>(m - 1), '0') + spaces;
            return w;
        }
        cross(w, k + m);
    }
    w.carryRow = std::to_string(digitAt(problemText, k + 7) + 1) + "000000" + spaces;
    return w;
}

int hintDelayMs(int rightCount, int problemsPerRun) {
    auto nearest = [problemsPerRun](double share) {
        return static_cast<int>(std::lround(problemsPerRun * share));
    };
    if (rightCount < nearest(0.1)) return 5000;
    if (rightCount < nearest(0.2)) return 10000;
    if (rightCount < nearest(0.5)) return 20000;
    return 30000;
}

} // namespace kestrel
