#pragma once
// A context with a roster and summary figures set directly, for the level
// menu's logic and screen tests.
#include <string>

#include "levelmenu/Ranking.h"
#include "startup/Calendar.h"
#include "support/Fakes.h"

namespace kestrel::test {

struct MenuFixture : TestContext {
    MenuFixture() {
        ctx.program.ProgramTitle = "四捨五入と概数のドリル";
        DefineLevelTable(ctx.program);
        ctx.roster.SchoolYear = 2025;
        setUniformCriteria(ctx, kMaxLevel);
        ctx.state.SessionStartDay = dayNumber(clock.today());
    }

    // Adds a listed student of the given elementary (1..6) or junior-high
    // (7..9) grade at the next roster position.
    void addStudent(int number, const std::string& name, int grade) {
        RosterTables& r = ctx.roster;
        ++r.RosterCount;
        r.RosterNumbers[static_cast<size_t>(r.RosterCount)] = static_cast<int16_t>(number);
        r.StudentNames[static_cast<size_t>(number)] = padded(name);
        r.BirthYears[static_cast<size_t>(number)] = static_cast<int16_t>(r.SchoolYear - 6 - grade);
        r.GradeLabels[static_cast<size_t>(number)] = GradeLabel(grade);
    }
    void signIn(int number) {
        ctx.state.CurrentStudentNumber = static_cast<int16_t>(number);
        ctx.state.CurrentStudentName = ctx.roster.StudentNames[static_cast<size_t>(number)];
        ctx.state.CurrentGradeLabel = ctx.roster.GradeLabels[static_cast<size_t>(number)];
    }
    ResultsSummary& summary() { return *ctx.summary; }
    // The ranking as the signed-in student's menu shows it.
    std::vector<RankingLine> ranking(int level, RankingBasis basis, std::string_view group) {
        return buildRanking(ctx.roster, *ctx.summary, level, basis, group,
                            ctx.state.CurrentStudentNumber);
    }
    void best(int level, int student, int32_t seconds) {
        summary().bestTime[static_cast<size_t>(level)][static_cast<size_t>(student)] = seconds;
    }
    void points(int level, int student, int32_t today, int32_t all) {
        summary().pointsToday[static_cast<size_t>(level)][static_cast<size_t>(student)] = today;
        summary().pointsAll[static_cast<size_t>(level)][static_cast<size_t>(student)] = all;
    }

    // The roster keeps names as 20 characters, space-padded.
    static std::string padded(const std::string& name) {
        size_t chars = 0;
        for (char c : name)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
        return name + std::string(chars < 20 ? 20 - chars : 0, ' ');
    }
};

} // namespace kestrel::test
