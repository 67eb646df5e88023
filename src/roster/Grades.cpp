#include "roster/Grades.h"

namespace kestrel {

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

std::string GradeMark(int grade) {
    static const char* const marks[] = {"①", "②", "③", "④", "⑤", "⑥", "Ⅰ", "Ⅱ", "Ⅲ"};
    if (grade >= 1 && grade <= 9) return marks[grade - 1];
    return "　";
}

bool InGradeGroup(int grade, std::string_view group) {
    if (group == kAllGrades || group == "家族") return true;
    if (group == "小学生全体") return grade >= 1 && grade <= 6;
    if (group == "中学生全体") return grade >= 7 && grade <= 9;
    for (int g = 1; g <= 9; ++g)
        if (group == GradeLabel(g)) return grade == g;
    return false;
}

bool GradeFilterKeeps(std::string_view filter, int g) {
    if (filter == kAllGrades) return true;
    if (filter == "小学生全体") return g >= 1 && g <= 6;
    if (filter == "中学生全体") return g >= 7 && g <= 9;
    return g >= 1 && g <= 9 && filter == GradeLabel(g);
}

} // namespace kestrel
