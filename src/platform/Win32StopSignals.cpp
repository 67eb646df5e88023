#include "platform/StopSignals.h"

#include <windows.h>

namespace kestrel {
namespace {

HANDLE stopEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Ctrl+C, Ctrl+Break, closing the console, log-off and shutdown: the waiting
// thread stops the program; returning TRUE keeps Windows from ending it first.
BOOL WINAPI onConsoleEvent(DWORD) {
    SetEvent(stopEvent());
    Sleep(INFINITE);
    return TRUE;
}

} // namespace

void holdStopSignals() {
    (void)stopEvent();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void waitForStopSignal() {
    WaitForSingleObject(stopEvent(), INFINITE);
}

} // namespace kestrel
