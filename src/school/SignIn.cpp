#include "school/SignIn.h"

#include "results/ResultsSummary.h"

namespace kestrel {

bool signIn(School& school, SharedState& state, int student, const LocalTime& now) {
    if (student < 1 || student > kMaxStudent) return false;
    const auto n = static_cast<size_t>(student);
    markSignIn(state, now);
    state.CurrentStudentNumber = static_cast<int16_t>(student);
    state.CurrentStudentName = school.roster.StudentNames[n];
    state.CurrentGradeLabel = school.roster.GradeLabels[n];
    DefineLevelTable(school.program);
    return true;
}

} // namespace kestrel
