#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string textOf(const ResultText& t) {
    return std::string(t.data(), t.size());
}

} // namespace

TEST(ResultRecord, AppendWritesTheRunAsItsFortyFourBytes) {
    LogContext t;
    t.clock.set(CivilDate{2025, 6, 10}, 37815.5); // 10:30:15.5
    t.signIn(1234, 3);
    t.ctx.state.RunTime = 87;
    ASSERT_FALSE(std::filesystem::exists(t.log()));

    ASSERT_TRUE(t.append().ok());

    // Day 45818, 37815.5 / 86400 of a day, 1234, 3, 87 s, "A01  ", five
    // blanks, "0" and four blanks, five zero bytes.
    const std::string expected = fromHex("00000000405fe640"
                                         "fc784b73f002dc3f"
                                         "d204"
                                         "0300"
                                         "57000000"
                                         "4130312020"
                                         "2020202020"
                                         "3020202020"
                                         "0000000000");
    ASSERT_EQ(expected.size(), kResultRecordSize);
    EXPECT_EQ(readBytes(t.log()), expected);
    EXPECT_TRUE(t.dialogs.shown.empty());
}

TEST(ResultRecord, AppendLandsOnTheNextWholeRecord) {
    LogContext t;
    t.signIn(7, 1);
    const std::vector<ResultRecord> two{runRecord(t.today(), 1, 1, 50),
                                        runRecord(t.today(), 2, 1, 60)};
    // Whole records, and whole records followed by the remains of a cut write.
    for (const std::string& tail : {std::string(), std::string(20, '\x7f')}) {
        writeBytes(t.log(), logBytes(two, tail));
        t.ctx.state.RunTime = 41;
        ASSERT_TRUE(t.append().ok());
        const std::string bytes = readBytes(t.log());
        ASSERT_EQ(bytes.size(), 3 * kResultRecordSize) << "tail " << tail.size();
        const auto records = decodeLog(bytes);
        EXPECT_EQ(records[0].seconds, 50);
        EXPECT_EQ(records[1].seconds, 60);
        EXPECT_EQ(records[2].studentNumber, 7);
        EXPECT_EQ(records[2].seconds, 41);
    }
}

TEST(ResultRecord, RoundTripsEveryFieldIncludingExtremes) {
    ResultRecord r;
    r.date = -1.0;
    r.timeOfDay = 0.999999;
    r.studentNumber = -32768;
    r.level = 32767;
    r.seconds = -2147483647 - 1;
    r.schoolCode = resultText("学校");
    r.pointsText = resultText("12345");
    r.countText = resultText("xyz");
    r.spareText = {'\x01', '\xff', '\0', 'a', 'b'};
    const ResultBytes b = encodeResultRecord(r);
    const ResultRecord back = decodeResultRecord(b.data());
    EXPECT_EQ(back.date, r.date);
    EXPECT_EQ(back.timeOfDay, r.timeOfDay);
    EXPECT_EQ(back.studentNumber, r.studentNumber);
    EXPECT_EQ(back.level, r.level);
    EXPECT_EQ(back.seconds, r.seconds);
    EXPECT_EQ(back.schoolCode, r.schoolCode);
    EXPECT_EQ(back.pointsText, r.pointsText);
    EXPECT_EQ(back.countText, r.countText);
    EXPECT_EQ(back.spareText, r.spareText);
    // Little-endian whatever the host: the 16-bit student at offset 16.
    EXPECT_EQ(b[16], 0x00);
    EXPECT_EQ(b[17], 0x80);
}

TEST(ResultRecord, TextFieldsAreCp932PaddedAndNeverSplitACharacter) {
    struct Case {
        const char* utf8;
        std::string bytes;
    } cases[] = {
        {"", "     "},
        {"A01", "A01  "},
        {"1234567", "12345"},
        {"学校", "\x8a\x77\x8d\x5a "},     // two double-byte characters, one blank
        {"あいう", "\x82\xa0\x82\xa2 "},   // the third would not fit whole
        {"ｶﾞｯｺｳ", "\xb6\xde\xaf\xba\xb3"}, // half-width kana are single bytes
        {"A😀", "A?   "},                   // no CP932 counterpart
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textOf(resultText(c.utf8)), c.bytes) << c.utf8;
    }
    EXPECT_EQ(resultTextUtf8(resultText("学校")), "学校 ");
}
