// The roster's rules: each fault of an entry is found once, with its level
// and the entry it is in, and a sound roster gives nothing.
#include <gtest/gtest.h>

#include "roster/RosterChecks.h"

using namespace kestrel;

namespace {

const std::string kSound = "1,2016,0,0,佐藤花子,0,,\r\n"
                           "2,2015,0,0,鈴木大翔,0,,\r\n"
                           "900,1985,0,0,山田先生,0,,\r\n"
                           "31,2016,0,0,坂本光,1,,転出\r\n";

std::vector<RosterFinding> check(const std::string& text, bool listStatus2 = false) {
    return checkRosterRows(rosterRows(text), {2026, listStatus2});
}

} // namespace

TEST(RosterChecks, EachFaultIsFoundOnceWithItsEntry) {
    struct Case {
        const char* what;
        std::string extra; // an entry after the sound ones
        FindingLevel level;
        const char* says;
    } cases[] = {
        {"a number that is text", "x5,2016,0,0,林,0,,", FindingLevel::Error, "数ではありません"},
        {"a birth year too large", "5,99999,0,0,林,0,,", FindingLevel::Error, "大きすぎます"},
        {"a number above 5000", "5001,2016,0,0,林,0,,", FindingLevel::Error, "0 から 5000 の外"},
        {"a negative number", "-3,2016,0,0,林,0,,", FindingLevel::Error, "0 から 5000 の外"},
        {"number 0", "0,2016,0,0,林,0,,", FindingLevel::Error, "どの集計にも入りません"},
        {"an empty number", ",2016,0,0,林,0,,", FindingLevel::Error, "どの集計にも入りません"},
        {"a duplicate number", "2,2016,0,0,林,0,,", FindingLevel::Error, "2人目 と同じ"},
        {"an unknown status", "5,2016,0,0,林,3,,", FindingLevel::Warning, "状態 3"},
        {"a birth year without a grade", "5,2009,0,0,林,0,,", FindingLevel::Warning, "高2"},
        {"a two-digit birth year", "5,16,0,0,林,0,,", FindingLevel::Warning, "生まれ年 16"},
        {"a long name", "5,2016,0,0,長谷川ひまわり,0,,", FindingLevel::Warning,
         "一覧に入りきりません"},
        {"a name cut at 20", "5,2016,0,0,あいうえおかきくけこさしすせそたちつてとな,1,,",
         FindingLevel::Warning, "20 文字より後ろが切れます"},
        {"no name", "5,2016,0,0,,0,,", FindingLevel::Warning, "名前がありません"},
        {"an entry cut short", "5,2016,0,0", FindingLevel::Error, "8 つそろわない"},
    };
    for (const Case& c : cases) {
        const auto found = check(kSound + c.extra + "\r\n");
        ASSERT_EQ(found.size(), 1u) << c.what << (found.empty() ? "" : ": " + found[0].message);
        EXPECT_EQ(found[0].row, 4u) << c.what;
        EXPECT_EQ(found[0].level, c.level) << c.what;
        EXPECT_NE(found[0].message.find("5人目："), std::string::npos) << found[0].message;
        EXPECT_NE(found[0].message.find(c.says), std::string::npos) << found[0].message;
    }
}

TEST(RosterChecks, SoundRostersAndWhatIsNotShownGiveNothing) {
    EXPECT_TRUE(check(kSound).empty());
    EXPECT_TRUE(check("").empty());
    // An entry across two lines reads as one, with its quoted comma.
    EXPECT_TRUE(check("7,2016,1,7,山本さくら\r\n0,,\"係:図書,保健\"\r\n").empty());
    // A student who is not listed needs no grade and no short name.
    EXPECT_TRUE(check("5,2005,0,0,長谷川ひまわり,1,,\r\n").empty());
    // Status 2 is listed only when the school asks for it.
    EXPECT_TRUE(check("5,2005,0,0,林,2,,\r\n").empty());
    EXPECT_EQ(check("5,2005,0,0,林,2,,\r\n", true).size(), 1u);
}
