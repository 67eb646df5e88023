#include "roster/Roster.h"

namespace kestrel {

RosterTables::RosterTables() : Roster(1) {}

int16_t schoolYearOf(int year, int month, int startMonth) {
    return static_cast<int16_t>(month < startMonth ? year - 1 : year);
}

int GradeNumber(int schoolYear, int birthYear) {
    return schoolYear - birthYear - 6;
}

std::string GradeLabel(int g) {
    static const char* const kDigits[] = {"０", "１", "２", "３", "４", "５", "６"};
    if (g == 0) return "幼３";
    if (g >= 1 && g <= 6) return std::string("小") + kDigits[g];
    if (g >= 7 && g <= 9) return std::string("中") + kDigits[g - 6];
    if (g == 10) return "高１";
    return {};
}

std::string GradeTag(int g) {
    if (g <= -3) return "幼-";
    if (g <= 0) return "幼" + std::to_string(g + 3);
    if (g <= 6) return "小" + std::to_string(g);
    if (g <= 9) return "中" + std::to_string(g - 6);
    if (g <= 12) return "高" + std::to_string(g - 9);
    return "大+";
}

} // namespace kestrel
