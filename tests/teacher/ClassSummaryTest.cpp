// The class summary: who has a row, the figures over the whole log (beyond
// the 20000 records a level menu reads) or a period, the CSV shape, and
// pages that hold a grade each, split when a grade outgrows a page.
#include <gtest/gtest.h>

#include <cstdlib>

#include "results/ResultsTestSupport.h"
#include "support/Installation.h"
#include "teacher/ClassSummary.h"
#include "text/CsvText.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

RosterFileEntry entry(int number, int birthYear, const std::string& name, int status = 0) {
    RosterFileEntry e;
    e.entry.number = static_cast<int16_t>(number);
    e.entry.birthYear = static_cast<int16_t>(birthYear);
    e.entry.name = name;
    e.status = static_cast<int16_t>(status);
    return e;
}

struct Class : LogContext {
    std::vector<RosterFileEntry> roster{entry(5, 2016, "いとう"),    entry(3, 2018, "あおき"),
                                        entry(4, 2016, "うえだ", 1), entry(6, 2016, "えのき", 2),
                                        entry(9, 1985, "山田先生"),  entry(7, 2017, "おおた")};
    ClassSummary build(int periodDays = 0) {
        ClassSummary out;
        const LogStatus s = buildClassSummary(resultsLog(ctx), roster, ctx.criteria, ctx.program,
                                              ctx.config, 2025, {periodDays, today()}, out);
        EXPECT_TRUE(s.ok()) << s.message;
        return out;
    }
};

} // namespace

TEST(ClassSummary, ListedStudentsByGradeOverTheWholeLogOrAPeriod) {
    Class c;
    c.ctx.program.LevelCount = 2;
    // 20000 recent runs of student 7, and before them an old run of student
    // 5 that a level menu no longer reads; a time-out; a slow run.
    std::vector<ResultRecord> records{runRecord(c.today() - 100, 5, 1, 20)};
    records.push_back(runRecord(c.today() - 2, 5, 1, 99999));
    records.push_back(runRecord(c.today() - 2, 5, 2, 7000));
    records.push_back(runRecord(c.today() - 1, 5, 1, 50));
    for (int i = 0; i < 20000; ++i)
        records.push_back(runRecord(c.today(), 7, 2, 30 + i % 50));
    writeBytes(c.log(), logBytes(records));

    ClassSummary all = c.build();
    // Grades of 2025: あおき 小１, おおた 小２, いとう 小３; うえだ is not listed,
    // えのき only when the configuration lists status 2, the teacher never.
    ASSERT_EQ(all.rows.size(), 3u);
    EXPECT_EQ(all.rows[0].number, 3);
    EXPECT_EQ(all.rows[1].number, 7);
    EXPECT_EQ(all.rows[2].number, 5);
    EXPECT_EQ(all.rows[2].gradeLabel, "小３");
    const LevelFigures& old = all.rows[2].levels[0];
    EXPECT_EQ(old.runs, 2) << "the time-out counts no run";
    EXPECT_EQ(old.bestTime, 20) << "the oldest run is read";
    EXPECT_EQ(all.rows[2].levels[1].runs, 0);
    EXPECT_EQ(all.rows[2].levels[1].bestTime, 7000);
    EXPECT_EQ(all.rows[1].levels[1].runs, 20000);
    EXPECT_TRUE(all.rows[1].levels[1].cleared);
    EXPECT_FALSE(all.rows[2].levels[0].cleared);
    EXPECT_EQ(all.rows[0].levels[0].bestTime, kNoTime);

    // A week: the old run stays out, best time too.
    const ClassSummary week = c.build(7);
    EXPECT_EQ(week.rows[2].levels[0].runs, 1);
    EXPECT_EQ(week.rows[2].levels[0].bestTime, 50);
    EXPECT_EQ(week.rows[2].levels[0].points, all.rows[2].levels[0].passPoints);

    c.ctx.config.ListStatus2Entries = "1";
    EXPECT_EQ(c.build().rows.size(), 4u);
    EXPECT_TRUE(std::filesystem::exists(c.log()));
    std::filesystem::remove(c.log());
    EXPECT_EQ(c.build().rows.size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(c.log())) << "a summary creates no log";
}

TEST(ClassSummary, CsvRowsAndPagesOfAGradeEach) {
    Class c;
    c.ctx.program.LevelCount = 5;
    for (int level = 1; level <= 5; ++level)
        c.ctx.program.LevelNames[static_cast<size_t>(level)] = "L" + std::to_string(level);
    writeBytes(c.log(), logBytes({runRecord(c.today(), 5, 3, 41)}));
    const ClassSummary s = c.build();
    for (CsvEncoding e : {CsvEncoding::Cp932, CsvEncoding::Utf8WithBom}) {
        const std::string bytes = classSummaryCsv(s, e);
        const auto rows = csvRows(e == CsvEncoding::Cp932 ? cp932ToUtf8(bytes) : bytes.substr(3));
        ASSERT_EQ(rows.size(), 4u);
        ASSERT_EQ(rows[0].size(), 28u);
        EXPECT_EQ(rows[0][13], "L3 回数");
        EXPECT_EQ(rows[0][16], "L3 最近7日ポイント");
        EXPECT_EQ(rows[3][0], "5");
        EXPECT_EQ(rows[3][1], "いとう");
        EXPECT_EQ(rows[3][13], "1");
        EXPECT_EQ(rows[3][14], "41");
        EXPECT_EQ(rows[1][14], "") << "no run, no best time";
        EXPECT_NE(bytes.find("\r\n"), std::string::npos);
    }

    // One page a grade; a grade of 60 students takes more than one.
    EXPECT_EQ(classSummaryPages(s, {}, "IPAGothic").size(), 3u);
    Class big;
    big.roster.clear();
    for (int n = 1; n <= 60; ++n)
        big.roster.push_back(entry(n, 2016, "せいと" + std::to_string(n)));
    const auto pages = classSummaryPages(big.build(), {"ドリル", "学校", "全期間", "今日"}, "F");
    ASSERT_GE(pages.size(), 2u);
    size_t names = 0;
    for (size_t p = 0; p < pages.size(); ++p) {
        const auto texts = pages[p].texts();
        EXPECT_NE(texts[0].find("小３（" + std::to_string(p + 1) + "/"), std::string::npos)
            << texts[0];
        for (const std::string& t : texts)
            names += t.rfind("せいと", 0) == 0;
        for (const DrawStep& step : pages[p].steps)
            EXPECT_TRUE(step.x >= 0 && step.x <= 1 && step.y >= 0 && step.y <= 1) << step.text;
    }
    EXPECT_EQ(names, 60u) << "every student once";
}

#ifdef KESTREL_CSV_PROGRAM
TEST(ClassSummary, TheCommandLineProgramWritesIt) {
    Installation inst;
    const auto program = inst.installCommand(KESTREL_CSV_PROGRAM);
    const auto out = inst.root() / "sum.csv";
    ASSERT_EQ(std::system((program.string() + " --summary --utf8 -o " + out.string()).c_str()), 0);
    const auto rows = csvRows(readBytes(out).substr(3));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].size(), 28u);
    EXPECT_EQ(rows[1][1], "山田　花子");
    EXPECT_FALSE(
        std::filesystem::exists(inst.root() / "共有データ" / "四捨五入" / kResultsLogName));
}
#endif
