#pragma once
// Turns Windows' request to end the session (WM_QUERYENDSESSION at log-off
// or shutdown, WM_ENDSESSION when it goes ahead) into the Qt signal that
// SIGTERM gives on Linux (platform/ui/PosixShutdownSignal.h). The request is
// answered as Qt answers it (yes) and the end follows on the event loop,
// once an append in progress has finished; when the session ends before
// the loop got there, the signal is given at once, since Windows ends the
// process as soon as WM_ENDSESSION returns. One watcher at a time.
#include <QAbstractNativeEventFilter>

#include "platform/ui/ShutdownWatch.h"

namespace kestrel {

class Win32ShutdownSignal : public ShutdownWatch, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Watches the application's native events from now on.
    explicit Win32ShutdownSignal(QObject* parent = nullptr);
    ~Win32ShutdownSignal() override;
    Win32ShutdownSignal(const Win32ShutdownSignal&) = delete;
    Win32ShutdownSignal& operator=(const Win32ShutdownSignal&) = delete;

    bool active() const override { return true; }

    // The number `received` gives, as SIGTERM's on Linux.
    static constexpr int kEndSession = 15;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void deliver();

    bool m_asked = false; // the request came; the end is on its way
    bool m_given = false;
};

} // namespace kestrel
