#pragma once
// Letting pending events run, and waiting while the screens stay responsive.
// A handler that lets events run is a point of re-entry: another handler may
// run meanwhile, and may unload the screen whose handler is waiting. The
// pump counts how deep such waits (and modal windows) are nested, so that
// an unloaded screen is deleted only once none of them is running.
#include "platform/Clock.h"

namespace kestrel {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs the pending screen updates, key presses and timer ticks.
    virtual void processEvents() = 0;
    // Lets events run for about `ms` milliseconds without burning the CPU.
    virtual void idle(int ms) = 0;

    // Waits and modal windows running right now, one inside the other.
    int nesting() const { return m_nesting; }

    // Counts one wait or modal window for as long as it lives.
    class Nested {
    public:
        explicit Nested(EventPump& pump) : m_pump(pump) { ++m_pump.m_nesting; }
        ~Nested() { --m_pump.m_nesting; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

    private:
        EventPump& m_pump;
    };

private:
    int m_nesting = 0;
};

// The pump of the commands without screens: nothing to keep responsive, so
// a wait for a held log only sleeps.
class SleepingPump : public EventPump {
public:
    void processEvents() override {}
    void idle(int ms) override;
};

// Waits `seconds` by the clock, letting events run all the while.
void waitResponsive(Clock& clock, EventPump& events, double seconds);

} // namespace kestrel
