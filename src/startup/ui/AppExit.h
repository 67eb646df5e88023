#pragma once
// Ends the running program: unloads every screen, newest first, and ends
// the process with the status given.
#include "platform/ProgramExit.h"

namespace kestrel {

class App;

class AppExit : public ProgramExit {
public:
    void attach(App* app) { m_app = app; }
    void endProgram(int status) override;

private:
    App* m_app = nullptr;
};

} // namespace kestrel
