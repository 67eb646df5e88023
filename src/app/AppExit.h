#pragma once
// Ends the running program: unloads every screen, newest first, and ends
// the process with the status given. An end asked for from outside (a
// log-off signal) waits while work holds the end.
#include <functional>
#include <utility>

#include "platform/ProgramExit.h"
#include "platform/ShutdownRequests.h"

namespace kestrel {

class App;

class AppExit : public ProgramExit {
public:
    // Ends the process; tests pass one that records the status and returns.
    using Ender = std::function<void(int status)>;

    AppExit();
    explicit AppExit(Ender ender) : m_ender(std::move(ender)) {}

    void attach(App* app) { m_app = app; }
    void endProgram(int status) override;
    void holdEnd() override;
    void releaseEnd() override;
    // Ends now, or at the last releaseEnd when the end is held.
    void requestEnd(int status);

private:
    App* m_app = nullptr;
    Ender m_ender;
    ShutdownRequests m_requests;
    // Set while the screens unload: a request arriving then is already served.
    bool m_ending = false;
};

} // namespace kestrel
