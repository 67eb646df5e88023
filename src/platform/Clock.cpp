#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace kestrel {

LocalTime SystemClock::now() {
    using namespace std::chrono;
    const auto t = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(t);
    std::tm local{};
    // The thread-safe local time: its name and argument order differ.
#ifdef _WIN32
    localtime_s(&local, &secs);
#else
    localtime_r(&secs, &local);
#endif
    const auto frac = duration_cast<microseconds>(t.time_since_epoch()).count() % 1000000;
    LocalTime out;
    out.date = CivilDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    out.secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                       static_cast<double>(frac < 0 ? frac + 1000000 : frac) / 1e6;
    return out;
}

uint32_t SystemClock::tickMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double SystemClock::monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace kestrel
