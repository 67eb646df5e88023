#pragma once
// The requests to stop a program that runs without a window: Ctrl-C at its
// terminal, or the service manager stopping it. One thread waits for them,
// so that the program stops between two requests, never in the middle of
// writing a record.
namespace kestrel {

// Keeps the stop requests from interrupting this thread and the threads it
// starts afterwards. Call before starting any thread.
void holdStopSignals();
// Waits until a stop is requested (after holdStopSignals).
void waitForStopSignal();

} // namespace kestrel
