#pragma once
// The drill screen's texts that come from figures: the correct answer shown
// after a wrong one, and the run numbers of the header.
#include <string>

namespace kestrel {

// The correct answer as typed: a whole number in plain decimal.
std::string correctAnswerText(double correctAnswer);
// A run number of the header: the runs so far + 1, the run under way
// counting as the next one; a practice level shows "－".
std::string runNumberText(bool practiceLevel, int runsSoFar);

// The fixed texts the run shows.
inline constexpr const char* kConfirmPrompt = "\"+\"を２回押しなさい";
inline constexpr const char* kRecordingCover = "成績記録中";
inline constexpr const char* kTimeUpCover = "時間切れ";

} // namespace kestrel
