#include <gtest/gtest.h>

#include <cerrno>

#include "context/Procedures.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"
#include "roster/RosterDisplay.h"
#include "text/Cp932.h"

using namespace kestrel;
using kestrel::test::LogContext;

namespace {

const std::string I = "\u3000";

struct RosterContext : LogContext {
    NameListState lists;

    RosterContext() {
        ctx.folders.SharedFolder = dir.path().string() + "/";
        ctx.config.SchoolYearStartMonth = "4";
        ctx.config.ListStatus2Entries = "0";
    }
    std::filesystem::path rosterFile() const { return dir / kRosterFile; }
    void roster(const std::string& text) const { writeCp932File(rosterFile(), text); }
    void read(int mode = 1, const std::string& filter = "全学年") {
        lists.NameListMode = mode;
        lists.filterText = filter;
        名簿表示(ctx, lists);
    }
    std::vector<std::string> shownNames() const {
        std::vector<std::string> out;
        for (size_t k = 1; k < lists.List1.size(); ++k) {
            const std::string& line = lists.List1[k];
            const size_t space = line.find(' ');
            const size_t pad = line.find(I, space);
            out.push_back(line.substr(space + 1, pad - space - 1));
        }
        return out;
    }
};

// Students of several school years (school year 2025 from April).
const char* const kClass = "11,2014,0,0,中村,0,,\r\n"  // 小5
                           "12,2016,0,0,山田,0,,\r\n"  // 小3
                           "13,2017,0,0,佐藤,0,,\r\n"  // 小2
                           "14,2016,0,0,伊藤,0,,\r\n"  // 小3
                           "15,2011,0,0,高橋,0,,\r\n"  // 中2
                           "16,2019,0,0,小林,0,,\r\n"  // 幼3... grade 0
                           "17,2009,0,0,渡辺,0,,\r\n"; // 高1

} // namespace

TEST(名簿表示, TheSameRosterMovesUpAGradeWhenTheSchoolYearTurns) {
    RosterContext t;
    t.roster("1,2016,0,0,山田　花子,0,,\r\n");
    t.clock.set(CivilDate{2025, 3, 10}, 9 * 3600.0);
    t.read();
    EXPECT_EQ(t.ctx.roster.SchoolYear, 2024);
    EXPECT_EQ(t.ctx.roster.GradeLabels[1], "小２");
    ASSERT_EQ(t.lists.List1.size(), 2u);
    EXPECT_TRUE(t.lists.List1[1].starts_with("小2 山田　花子")) << t.lists.List1[1];

    t.clock.set(CivilDate{2025, 4, 1}, 9 * 3600.0);
    t.read();
    EXPECT_EQ(t.ctx.roster.SchoolYear, 2025);
    EXPECT_EQ(t.ctx.roster.GradeLabels[1], "小３");
    EXPECT_TRUE(t.lists.List1[1].starts_with("小3 山田　花子")) << t.lists.List1[1];
}

TEST(名簿表示, StatusDecidesTheListButEveryNameIsKept) {
    for (const char* status2 : {"0", "1"}) {
        RosterContext t;
        t.ctx.config.ListStatus2Entries = status2;
        t.ctx.roster.GradeLabels[5] = "前の値";
        t.roster("1,2016,0,0,一,0,,\r\n2,2016,0,0,二,1,,\r\n3,2016,0,0,三,2,,\r\n"
                 "4,2016,0,0,四,7,,\r\n5,2008,0,0,五,0,,\r\n");
        t.read();
        const bool listed2 = std::string(status2) == "1";
        EXPECT_EQ(t.ctx.roster.RosterCount, listed2 ? 3 : 2);
        EXPECT_EQ(t.ctx.roster.RosterNumbers[1], 1);
        EXPECT_EQ(t.ctx.roster.RosterNumbers[2], listed2 ? 3 : 5);
        EXPECT_EQ(t.ctx.roster.Roster.size(), static_cast<size_t>(t.ctx.roster.RosterCount) + 1);
        for (int n = 1; n <= 5; ++n) {
            EXPECT_EQ(characterCount(t.ctx.roster.StudentNames[static_cast<size_t>(n)]), 20u);
            EXPECT_EQ(t.ctx.roster.BirthYears[static_cast<size_t>(n)], n == 5 ? 2008 : 2016);
        }
        EXPECT_TRUE(t.ctx.roster.StudentNames[2].starts_with("二"));
        EXPECT_EQ(t.ctx.roster.GradeLabels[2], "小３");
        // Grade 11: tagged, but the label it had stays.
        EXPECT_EQ(t.ctx.roster.GradeLabels[5], "前の値");
        EXPECT_EQ(t.lists.List1[1].substr(0, 8), "高2 五"); // the oldest first
        EXPECT_EQ(t.lists.List1.size(), static_cast<size_t>(t.ctx.roster.RosterCount) + 1);
    }
}

TEST(名簿表示, OlderStudentsFirstThenByNameAndTheFilterKeepsLineZero) {
    RosterContext t;
    t.roster(kClass);
    struct Case {
        const char* filter;
        std::vector<std::string> names;
    } cases[] = {
        {"全学年", {"渡辺", "高橋", "中村", "伊藤", "山田", "佐藤", "小林"}},
        {"小学生全体", {"中村", "伊藤", "山田", "佐藤"}},
        {"中学生全体", {"高橋"}},
        {"小３", {"伊藤", "山田"}},
        {"中２", {"高橋"}},
        {"幼３", {}},
        {"三年", {}},
    };
    for (const auto& c : cases) {
        t.read(1, c.filter);
        EXPECT_EQ(t.lists.List1.front(), kNobodyLine);
        EXPECT_EQ(t.lists.List1Index, 0);
        EXPECT_EQ(t.shownNames(), c.names) << c.filter;
        EXPECT_EQ(t.ctx.roster.RosterCount, 7) << "the filter lists, it does not drop entries";
        ASSERT_EQ(t.lists.List3.size() + 1, t.lists.List1.size());
        for (size_t k = 1; k < t.lists.List1.size(); ++k)
            EXPECT_EQ(t.lists.List3[k - 1].substr(0, t.lists.List1[k].size()), t.lists.List1[k]);
    }
    EXPECT_EQ(t.lists.List2.size(), 7);
    EXPECT_TRUE(t.lists.List4.empty());
}

TEST(名簿表示, AnEmptyRosterListsNobody) {
    RosterContext t;
    t.roster("");
    t.read();
    EXPECT_EQ(t.ctx.roster.RosterCount, 0);
    EXPECT_EQ(t.lists.List1, std::vector<std::string>{kNobodyLine});
    EXPECT_EQ(t.lists.List1Index, 0);
    EXPECT_TRUE(t.dialogs.shown.empty());
}

TEST(名簿表示, FiguresComeFromTheResultsLog) {
    RosterContext t;
    t.roster("1,2016,0,0,山田,0,,\r\n2,2016,0,0,佐藤,0,,\r\n");
    const double today = t.today();
    kestrel::test::writeBytes(t.log(), kestrel::test::logBytes({
                                           kestrel::test::runRecord(today, 1, 1, 50),
                                           kestrel::test::runRecord(today, 1, 2, 70),
                                           kestrel::test::runRecord(today - 3, 1, 1, 40),
                                       }));
    t.read(0);
    EXPECT_EQ(t.lists.List1[2], "小3 山田" + I + I + I + I + "  2回/    3回");
    EXPECT_EQ(t.lists.List1[1], "小3 佐藤" + I + I + I + I + "     /     " + I);

    t.read(1);
    const StudentFigures f = studentFigures(*t.ctx.summary, 1);
    EXPECT_EQ(f.countToday, 2);
    EXPECT_EQ(f.countAll, 3);
    EXPECT_EQ(f.pointsToday, RunPoints(t.ctx.criteria, 50, 1) + RunPoints(t.ctx.criteria, 70, 2));
    EXPECT_GT(f.pointsAll, f.pointsToday);
    EXPECT_EQ(t.lists.List1[2], "小3 山田" + I + I + I + I + todayPointsText(f.pointsToday) + "/" +
                                    totalPointsText(f.pointsAll));
}

TEST(名簿表示, AMissingRosterIsTriedSixTimesThenEndsTheProgram) {
    RosterContext t;
    const uint32_t start = t.clock.tickMs();
    EXPECT_THROW(t.read(), ProgramEnded);
    EXPECT_EQ(t.exit.statuses, std::vector<int>{1});
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    const std::string text = t.dialogs.shown[0].text;
    EXPECT_EQ(text, "名簿表示3「" + displayPath(t.rosterFile()) + "」が見つかりません。2");
    EXPECT_EQ(t.lists.RosterRetryCount, 6);
    const uint32_t waited = t.clock.tickMs() - start;
    EXPECT_GE(waited, 30000u);
    EXPECT_LT(waited, 31000u);
}

TEST(名簿表示, ARosterThatAppearsDuringTheWaitsIsRead) {
    RosterContext t;
    const uint32_t start = t.clock.tickMs();
    bool written = false;
    t.events.onProcess = [&] {
        if (!written && t.clock.tickMs() - start >= 12000) {
            t.roster("1,2016,0,0,山田,0,,\r\n");
            written = true;
        }
    };
    t.read();
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(t.ctx.roster.RosterCount, 1);
    EXPECT_EQ(t.lists.List1.size(), 2u);
    EXPECT_EQ(t.lists.RosterRetryCount, 3);
}

TEST(名簿表示, AFieldThatIsNoNumberGivesUpWithItsDescription) {
    RosterContext t;
    t.roster("1,2016,0,0,山田,0,,\r\n2,二〇一六,0,0,佐藤,0,,\r\n");
    EXPECT_THROW(t.read(), ProgramEnded);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_EQ(t.dialogs.shown[0].text, "名簿表示3「" + displayPath(t.rosterFile()) +
                                           "」の2人目の生まれ年「二〇一六」が数ではありません。" +
                                           std::to_string(EINVAL));
}

TEST(名簿表示, FiveThousandListedStudentsFitAndOneMoreDoesNot) {
    std::string text;
    for (int n = 1; n <= 5000; ++n)
        text += std::to_string(n) + ",2016,0,0,生徒,0,,\r\n";
    RosterContext t;
    t.roster(text + "0,2016,0,0,退学,1,,\r\n");
    t.read();
    EXPECT_EQ(t.ctx.roster.RosterCount, 5000);
    EXPECT_EQ(t.lists.List1.size(), 5001u);
    EXPECT_TRUE(t.ctx.roster.StudentNames[0].starts_with("退学"));

    t.roster(text + "0,2016,0,0,一人多い,0,,\r\n");
    EXPECT_THROW(t.read(), ProgramEnded);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_TRUE(t.dialogs.shown[0].text.ends_with("を超えています。" + std::to_string(ERANGE)));
}

// A roster saved in UTF-8 (a spreadsheet's export, not converted) stays so
// however long one waits: the program ends at once, names the file, says
// what is wrong and how to mend it.
TEST(名簿表示, ARosterThatIsNoCp932EndsAtOnceWithTheFix) {
    RosterContext t;
    kestrel::test::writeBytes(t.rosterFile(), "1,2016,0,0,山田　花子,0,,\r\n");
    const uint32_t start = t.clock.tickMs();
    EXPECT_THROW(t.read(), ProgramEnded);
    EXPECT_LT(t.clock.tickMs() - start, 1000u);
    EXPECT_EQ(t.lists.RosterRetryCount, 0);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    const std::string file = displayPath(t.rosterFile());
    EXPECT_EQ(t.dialogs.shown[0].text,
              "名簿表示3名簿「" + file +
                  "」の文字コードがシフトJIS(CP932)ではありません（表計算ソフトの UTF-8 の CSV "
                  "など）。「kestrel-roster --from \"" +
                  file +
                  "\" --write」で、シフトJIS(CP932)の名簿に書きなおせます（今のファイルは日付"
                  "つきの名前で残ります）。" +
                  std::to_string(EILSEQ));
}

// Names of one birth year stand as a Japanese desktop's sorted list shows
// them: in the order of their CP932 bytes, kana by the kana table before
// kanji, the common kanji by their readings (青 is read セイ).
TEST(名簿表示, NamesOfOneYearStandInTheOrderOfTheirShiftJisText) {
    const char* const names[] = {
        "上田", "中島", "井上",       "青木",     "阿部",     "伊藤",      "石川", "石井",
        "小川", "加藤", "小林",       "近藤",     "斎藤",     "佐々木",    "清水", "鈴木",
        "高橋", "田中", "中村",       "橋本",     "林",       "藤田",      "松本", "森",
        "山田", "渡辺", "佐藤さくら", "佐藤エマ", "佐藤ゆい", "佐藤あおい"};
    // Sorted by hand from their CP932 bytes (阿部 88A2…, 伊藤 88C9…, …, 鈴木 97E9…).
    const std::vector<std::string> listed = {
        "阿部",       "伊藤",       "井上",     "加藤",     "橋本", "近藤", "高橋", "佐々木",
        "佐藤あおい", "佐藤さくら", "佐藤ゆい", "佐藤エマ", "斎藤", "山田", "小川", "小林",
        "松本",       "上田",       "森",       "清水",     "青木", "石井", "石川", "中村",
        "中島",       "田中",       "渡辺",     "藤田",     "林",   "鈴木"};
    std::string roster;
    int number = 0;
    for (const char* name : names)
        roster += std::to_string(++number) + ",2016,0,0," + name + ",0,,\r\n";
    RosterContext t;
    t.roster(roster);
    for (int mode = 0; mode <= 3; ++mode) {
        t.read(mode);
        EXPECT_EQ(t.shownNames(), listed) << "mode " << mode;
    }
    // The order of the years comes first, whatever the names.
    t.roster(roster + "31,2015,0,0,和田,0,,\r\n");
    t.read();
    EXPECT_EQ(t.shownNames().front(), "和田");
}
