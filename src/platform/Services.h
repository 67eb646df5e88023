#pragma once
// The platform services one running program uses, handed to every screen
// and procedure through the program context.
#include "platform/Audio.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/Printer.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramExit.h"
#include "platform/Random.h"

namespace kestrel {

struct Services {
    Clock& clock;
    Random& random;
    Dialogs& dialogs;
    ProgramExit& exit;
    EventPump& events;
    Audio& audio;
    ProcessLauncher& processes;
    Printer& printer;
};

} // namespace kestrel
