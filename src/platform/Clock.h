#pragma once
// The system clock as the program reads it: the local date, the seconds
// since midnight (with fractions, for run timing) and a millisecond tick.
#include <cstdint>

namespace kestrel {

struct CivilDate {
    int year = 1899;
    int month = 12;
    int day = 30;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

struct LocalTime {
    CivilDate date;
    double secondsOfDay = 0; // 0 <= value < 86400
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
    // Milliseconds from an arbitrary start; wraps like a 32-bit counter.
    virtual uint32_t tickMs() = 0;
    // Seconds from an arbitrary start that no change of the wall clock moves
    // (NTP, a domain PC's time service, a teacher's correction): what a
    // drill run is timed by.
    virtual double monotonicSeconds() = 0;

    CivilDate today() { return now().date; }
    double secondsSinceMidnight() { return now().secondsOfDay; }
};

class SystemClock : public Clock {
public:
    LocalTime now() override;
    uint32_t tickMs() override;
    double monotonicSeconds() override;
};

} // namespace kestrel
