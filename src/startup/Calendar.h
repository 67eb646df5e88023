#pragma once
// Calendar helpers: day numbers counted from 30 December 1899 (day 0), times
// of day as fractions of a day, and the Japanese era date.
#include "platform/Clock.h"

#include <cstdint>
#include <string>

namespace kestrel {

// Days since 1899-12-30 (negative before it).
int64_t dayNumber(const CivilDate& date);
CivilDate dateFromDayNumber(int64_t dayNumber);
// 0 Sunday .. 6 Saturday.
int weekday(const CivilDate& date);
// Seconds since midnight as a fraction of a day, in [0, 1).
double dayFraction(double secondsOfDay);

// "ggge年 m月 dd日（aaa）": era name, year of the era, month without leading
// zero, two-digit day and the one-character weekday, e.g. "令和8年 12月 09日（水）".
// 令和 from 2019-05-01, 平成 from 1989-01-08, 昭和 before.
std::string eraDate(const CivilDate& date);

} // namespace kestrel
