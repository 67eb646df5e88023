#pragma once
// Platform services that stay out of the way of a benchmark: a fixed clock,
// no sounds, no events; a message box or a program end aborts the run, as
// a benchmark that meets an error measures nothing.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "roster/Roster.h"

namespace kestrel::bench {

class FixedClock : public Clock {
public:
    LocalTime now() override { return {CivilDate{2025, 6, 10}, 36000.0}; }
    uint32_t tickMs() override { return ++m_tick; }

private:
    uint32_t m_tick = 0;
};
class NoRandom : public Random {
public:
    void seed(double) override {}
    float next() override { return 0; }
};
class AbortDialogs : public Dialogs {
public:
    MessageAnswer message(const std::string&, const std::string&, MessageButtons) override {
        std::abort();
    }
};
class AbortExit : public ProgramExit {
public:
    void endProgram(int) override { std::abort(); }
};
class NoEvents : public EventPump {
public:
    void processEvents() override {}
    void idle(int) override {}
};
class NoAudio : public Audio {
public:
    PlayResult playToEnd(const std::filesystem::path&) override { return {}; }
};
class NoLauncher : public ProcessLauncher {
public:
    bool startDetached(const std::string&, const std::vector<std::string>&, std::string&) override {
        return false;
    }
};

struct QuietServices {
    FixedClock clock;
    NoRandom random;
    AbortDialogs dialogs;
    AbortExit exit;
    NoEvents events;
    NoAudio audio;
    NoLauncher processes;

    // With another event pump, for screens whose repaints are part of the cost.
    Services with(EventPump& pump) {
        return Services{clock, random, dialogs, exit, pump, audio, processes};
    }
    Services services() { return with(events); }
};

// A school of `students` listed students numbered 1..n, in the roster's
// space-padded form, born over nine school years.
inline void fillRoster(RosterTables& r, int students, std::mt19937& rng) {
    r.SchoolYear = 2025;
    for (int s = 1; s <= students; ++s) {
        const auto S = static_cast<size_t>(s);
        r.RosterNumbers[S] = static_cast<int16_t>(s);
        r.StudentNames[S] = "せいと" + std::to_string(s) + std::string(12, ' ');
        r.BirthYears[S] = static_cast<int16_t>(2010 + rng() % 9);
    }
    r.RosterCount = static_cast<int16_t>(students);
}

} // namespace kestrel::bench
