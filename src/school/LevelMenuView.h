#pragma once
// The level menu as every front shows it: the header, one column per level
// with the student's figures, which levels may be started (the refresh
// that closes a level practised too much), and the list of each column in
// the order it shows, with the student's own line.
#include <string>
#include <vector>

#include "levelmenu/LevelMenu.h"
#include "levelmenu/Ranking.h"
#include "platform/Clock.h"
#include "school/School.h"
#include "startup/SharedState.h"

namespace kestrel {

// The menu's header for the signed-in student.
struct MenuHeader {
    std::string title;       // Label11
    bool smallTitle = false; // a long title takes the smaller font
    std::string student;     // Label12: grade label and name
    std::string school;      // Label13: school and student number
    std::string minutes;     // Label17: "起動後N分"
    std::string todayTotal;  // Label18: "本日総回数＝N回"
};
// TodayRunCount is set to the student's runs today over every level.
MenuHeader menuHeader(const School& school, SharedState& state, const LocalTime& now);

// The texts of one level's column.
struct LevelColumnTexts {
    std::string number;       // Label1
    std::string name;         // Label3
    std::string startCaption; // Command4: "ｽﾀｰﾄ(&i)", "&" marking the access key
    std::string target;       // Label7
    std::string passPeriod;   // Label8
    std::string today;        // Label14
    std::string allTime;      // Label15
};
// Levels 1..LevelCount in order (index 0 is level 1).
std::vector<LevelColumnTexts> levelColumns(const School& school, int student);

// The refresh of the start buttons: which levels may be started now.
// GoalLevelCleared is set for the end screen.
LevelAvailability refreshAvailability(const School& school, SharedState& state);

// One column's list as it shows, and the line to keep in view: the
// student's own line, -1 when the list has none.
struct ColumnList {
    std::vector<std::string> lines;
    int own = -1;
};
// The ranking of `level` on `basis` among the grade group's students.
ColumnList rankingList(const School& school, int level, RankingBasis basis,
                       const std::string& gradeGroup, int student);
// Lines of a results view, in the lists' ranking order; the student's own
// first run is the line marked "●".
ColumnList viewList(std::vector<std::string> lines);

} // namespace kestrel
