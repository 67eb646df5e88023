#pragma once
// The context of the helper programs that the sharing tests start as
// separate processes: the shared test doubles with a real clock whose tick
// runs a hundred times faster, so that the one-second waits of the retry
// protocol take ten real milliseconds and hundreds of contended appends
// finish quickly.
#include <string>

#include "context/Context.h"
#include "support/Fakes.h"

namespace kestrel::helper {

struct HelperContext : test::FakeServices {
    test::FastClock clock;
    test::FakeEventPump events;
    Context ctx{with(clock, events), std::make_unique<PosixSharedFileSystem>(),
                std::make_unique<ProcMountTable>()};

    explicit HelperContext(const std::string& dataFolder) {
        ctx.folders.DataFolder = dataFolder;
        dialogs.echo = true;
        exit.endProcess = true;
        events.sleepMicros = 100;
    }
};

// A writer's records carry who wrote them and in which order, so that a
// reader can tell a torn, lost or doubled record: the student is the writer
// (1..8), the seconds are writer * 100000 + sequence, the level follows the
// sequence and the school code names the writer.
inline int16_t levelOfSequence(int sequence) {
    return static_cast<int16_t>(sequence % 35 + 1);
}
inline int32_t secondsOf(int writer, int sequence) {
    return writer * 100000 + sequence;
}

} // namespace kestrel::helper
