#pragma once
// The widget-backed platform services: message boxes and the event pump.
#include "platform/Dialogs.h"
#include "platform/EventPump.h"

namespace kestrel {

class QtDialogs : public Dialogs {
public:
    MessageAnswer message(const std::string& text, const std::string& title,
                          MessageButtons buttons) override;
};

class QtEventPump : public EventPump {
public:
    void processEvents() override;
    void idle(int ms) override;
};

} // namespace kestrel
