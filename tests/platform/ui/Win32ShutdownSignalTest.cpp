// Windows' end of a session reaches the event loop as the Linux signals do:
// the request to log off gives one end there, after the window procedure
// has returned; an end of the session that comes before the loop got to it
// gives it at once, since Windows ends the process when that returns.
#ifdef _WIN32
#include "platform/ui/Win32ShutdownSignal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

namespace kestrel {
namespace {

bool deliver(Win32ShutdownSignal& watcher, UINT message, WPARAM wParam) {
    MSG msg{};
    msg.message = message;
    msg.wParam = wParam;
    qintptr result = 0;
    return watcher.nativeEventFilter("windows_generic_MSG", &msg, &result);
}

void pump() {
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

TEST(Win32ShutdownSignalTest, TheLogOffRequestEndsOnceOnTheEventLoop) {
    const struct Case {
        const char* what;
        std::vector<std::pair<UINT, WPARAM>> messages;
        bool pumpBetween;
        size_t atOnce, inTheEnd;
    } cases[] = {
        {"asked, then ended", {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}}, true, 0, 1},
        {"every window asked", {{WM_QUERYENDSESSION, 0}, {WM_QUERYENDSESSION, 0}}, false, 0, 1},
        {"ended before the loop ran",
         {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}},
         false,
         1,
         1},
        {"the log-off called off", {{WM_ENDSESSION, FALSE}}, false, 0, 0},
        {"other messages", {{WM_CLOSE, 0}, {WM_PAINT, 0}}, false, 0, 0},
    };
    for (const Case& c : cases) {
        Win32ShutdownSignal watcher;
        std::vector<int> received;
        QObject::connect(&watcher, &Win32ShutdownSignal::received,
                         [&received](int n) { received.push_back(n); });
        for (const auto& [message, wParam] : c.messages) {
            // Qt goes on to answer the request itself.
            EXPECT_FALSE(deliver(watcher, message, wParam)) << c.what;
            if (c.pumpBetween && message == WM_QUERYENDSESSION) {
                EXPECT_TRUE(received.empty()) << c.what << ": nothing inside the window procedure";
                pump();
            }
        }
        EXPECT_EQ(received.size(), c.pumpBetween ? c.inTheEnd : c.atOnce) << c.what;
        pump();
        EXPECT_EQ(received.size(), c.inTheEnd) << c.what;
        for (int n : received)
            EXPECT_EQ(n, Win32ShutdownSignal::kEndSession);
    }
}

} // namespace
} // namespace kestrel
#endif
