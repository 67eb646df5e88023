#pragma once
// The widget-backed platform services: message boxes and the event pump.
#include "platform/Dialogs.h"
#include "platform/EventPump.h"

namespace kestrel {

// A modal box runs an event loop of its own: it counts as a wait of the pump.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(EventPump& events) : m_events(events) {}
    MessageAnswer message(const std::string& text, const std::string& title,
                          MessageButtons buttons) override;

private:
    EventPump& m_events;
};

class QtEventPump : public EventPump {
public:
    void processEvents() override;
    void idle(int ms) override;
};

} // namespace kestrel
