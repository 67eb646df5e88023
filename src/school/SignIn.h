#pragma once
// Signing in, as every front does it: the student chosen by roster number
// becomes the one who practises, from now, and the level table is filled
// for the level menu.
#include "platform/Clock.h"
#include "school/School.h"
#include "startup/SharedState.h"

namespace kestrel {

// Signs `student` (a roster number) in at `now`: the student's number, name
// and grade label, the sign-in time, and the level table of the school's
// program. False, and nothing changed, for a number outside 1..5000.
bool signIn(School& school, SharedState& state, int student, const LocalTime& now);

} // namespace kestrel
