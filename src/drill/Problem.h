#pragma once
// The rounding problems of the drill: which kind a level asks, the number
// drawn, the correct answer, the instruction, the worked hint and how long
// the hint waits before it shows itself.
#include <array>
#include <string>
#include <string_view>

#include "platform/Random.h"

namespace kestrel {

// Names of the places 1..9 (ones to hundred millions); index 0 is unused.
inline constexpr std::array<std::string_view, 10> PlaceNames{
    "", "一", "十", "百", "千", "一万", "十万", "百万", "千万", "一億"};

// One problem on the screen.
struct Problem {
    int ProblemType = 0; // 1 round 1..99 at the ones, 2 round at a place,
                         // 3 approximate to a place, 4 keep leading digits
    int number = 0;
    std::string ProblemText; // two spaces, then the digits of `number`
    int RoundPlace = 0;      // place of the digit rounded off: 1 ones, 2 tens, 3 hundreds
    double CorrectAnswer = 0;
    std::string instruction; // the text above the number
};

// The worked hint: which digits are crossed out and the row of carried
// digits written above the number.
struct Working {
    // crossed[j]: the digit of place j is crossed out (j = 1..7; 0 unused).
    std::array<bool, 8> crossed{};
    // Right-aligned above the problem text in the same fixed-pitch font; its
    // RoundPlace trailing spaces put each digit above its place. Empty when
    // the number is rounded down.
    std::string carryRow;
};

// The kind a level asks; the mixed level (5) draws kind 2, 3 or 4. A level
// other than 1..4 is treated as mixed.
int problemTypeForLevel(int level, Random& random);

// Draws the number and the place of a problem of the given kind (two values
// of the random source) and derives text, answer and instruction.
Problem drawProblem(int problemType, Random& random);

// The problem of `number` rounded off at `roundPlace`, without drawing.
Problem makeProblem(int problemType, int number, int roundPlace);

// The instruction for a kind and place, e.g. "十の位までの概数にしなさい".
std::string instructionText(int problemType, int roundPlace);

// The hint of a problem text: the rounded-off digit is crossed out and, when
// it is 5 or more, the carry runs up through the 9s, crossing each of them.
Working workingFor(std::string_view problemText, int roundPlace);

// Milliseconds before the hint shows: 5, 10, 20 or 30 seconds, longer as
// the run goes on (`rightCount` right answers of `problemsPerRun`).
int hintDelayMs(int rightCount, int problemsPerRun);

} // namespace kestrel
