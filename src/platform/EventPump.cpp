#include "platform/EventPump.h"

#include <chrono>
#include <thread>

namespace kestrel {

void SleepingPump::idle(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void waitResponsive(Clock& clock, EventPump& events, double seconds) {
    const uint32_t start = clock.tickMs();
    const double limitMs = seconds * 1000.0;
    events.processEvents();
    while (static_cast<double>(static_cast<uint32_t>(clock.tickMs() - start)) < limitMs) {
        events.idle(10);
    }
}

} // namespace kestrel
