#pragma once
// The shared test doubles as a benchmark needs them: a fixed clock, no
// sounds, no events; a message box aborts the run, as a benchmark that
// meets an error measures nothing.
#include <random>
#include <string>

#include "context/Context.h"
#include "roster/Roster.h"
#include "support/Fakes.h"

namespace kestrel::bench {

struct QuietServices : test::FakeServices {
    test::FakeClock clock; // 2025-06-10 10:00
    test::FakeEventPump events{&clock};

    QuietServices() { dialogs.abort = true; }
    // With another event pump, for screens whose repaints are part of the cost.
    Services with(EventPump& pump) { return FakeServices::with(clock, pump); }
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
