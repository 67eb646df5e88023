#include "drill/DrillTexts.h"

#include <cmath>

namespace kestrel {

std::string correctAnswerText(double correctAnswer) {
    return std::to_string(std::llround(correctAnswer));
}

std::string runNumberText(bool practiceLevel, int runsSoFar) {
    return practiceLevel ? "－" : std::to_string(runsSoFar + 1);
}

} // namespace kestrel
