#include <gtest/gtest.h>

#include "startup/Calendar.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

using namespace kestrel;

TEST(Calendar, DayNumbersCountFrom30December1899) {
    EXPECT_EQ(dayNumber({1899, 12, 30}), 0);
    EXPECT_EQ(dayNumber({1900, 1, 1}), 2);
    EXPECT_EQ(dayNumber({2025, 4, 1}), 45748);
    for (int64_t n : {-400, 0, 1, 59, 60, 45748, 46000, 80000})
        EXPECT_EQ(dayNumber(dateFromDayNumber(n)), n);
}

TEST(Calendar, EraDateSwitchesOnTheFirstDayOfEachEra) {
    EXPECT_EQ(eraDate({2019, 5, 1}), "令和1年 5月 01日（水）");
    EXPECT_EQ(eraDate({2019, 4, 30}), "平成31年 4月 30日（火）");
    EXPECT_EQ(eraDate({1989, 1, 8}), "平成1年 1月 08日（日）");
    EXPECT_EQ(eraDate({1989, 1, 7}), "昭和64年 1月 07日（土）");
    EXPECT_EQ(eraDate({2026, 12, 9}), "令和8年 12月 09日（水）");
}
