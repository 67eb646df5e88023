#include "startup/SharedState.h"

#include <cmath>

#include "startup/Calendar.h"

namespace kestrel {

void resetRunState(SharedState& state) {
    state.runFlags = RunFlags{};
    state.RightCount = 0;
}

void markSignIn(SharedState& state, const LocalTime& now) {
    int64_t day = dayNumber(now.date);
    auto seconds = static_cast<int32_t>(std::lround(now.secondsOfDay));
    if (seconds >= 86400) { // rounded up to the next midnight
        seconds -= 86400;
        ++day;
    }
    state.SessionStartSeconds = seconds;
    state.SessionStartDay = day;
}

int minutesSinceSignIn(const SharedState& state, const LocalTime& now) {
    const int64_t seconds = (dayNumber(now.date) - state.SessionStartDay) * 86400 +
                            std::llround(now.secondsOfDay) - state.SessionStartSeconds;
    return seconds > 0 ? static_cast<int>(seconds / 60) : 0;
}

} // namespace kestrel
