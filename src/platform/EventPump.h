#pragma once
// Letting pending events run, and waiting while the screens stay responsive.
#include "platform/Clock.h"

namespace kestrel {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs the pending screen updates, key presses and timer ticks.
    virtual void processEvents() = 0;
    // Lets events run for about `ms` milliseconds without burning the CPU.
    virtual void idle(int ms) = 0;
};

// Waits `seconds` by the clock, letting events run all the while.
void waitResponsive(Clock& clock, EventPump& events, double seconds);

} // namespace kestrel
