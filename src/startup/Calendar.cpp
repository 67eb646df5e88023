#include "startup/Calendar.h"

#include <cmath>
#include <cstdio>

namespace kestrel {
namespace {
// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
// constexpr, so that the offset below is fixed before any other file's
// static initialisers call dayNumber() (a test's "today" among them).
constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
constexpr int64_t kEpochOffset = daysFromCivil(1899, 12, 30);
} // namespace

int64_t dayNumber(const CivilDate& date) {
    return daysFromCivil(date.year, static_cast<unsigned>(date.month),
                         static_cast<unsigned>(date.day)) -
           kEpochOffset;
}

CivilDate dateFromDayNumber(int64_t n) {
    int64_t z = n + kEpochOffset + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

int weekday(const CivilDate& date) {
    // Day 0 (1899-12-30) was a Saturday.
    int64_t w = (dayNumber(date) + 6) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

double dayFraction(double secondsOfDay) {
    double f = secondsOfDay / 86400.0;
    if (f < 0) f = 0;
    if (f >= 1) f = std::nextafter(1.0, 0.0);
    return f;
}

std::string eraDate(const CivilDate& date) {
    static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    const int64_t n = dayNumber(date);
    const char* era;
    int eraYear;
    if (n >= dayNumber({2019, 5, 1})) {
        era = "令和";
        eraYear = date.year - 2018;
    } else if (n >= dayNumber({1989, 1, 8})) {
        era = "平成";
        eraYear = date.year - 1988;
    } else {
        era = "昭和";
        eraYear = date.year - 1925;
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s%d年 %d月 %02d日（%s）", era, eraYear, date.month, date.day,
                  kWeekdays[weekday(date)]);
    return buf;
}

} // namespace kestrel
