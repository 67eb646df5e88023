#pragma once
// The end of the user's session (a log-off or a shutdown) as a Qt signal
// on the event loop of the thread that made the watcher, so that the
// program ends normally once an append in progress has finished. Each
// system has its watcher (PosixShutdownSignal, Win32ShutdownSignal); the
// build takes one system's, and watchShutdown() makes it.
#include <QObject>
#include <memory>

namespace kestrel {

class ShutdownWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // False when the watcher could not be set up: the session's end ends
    // the program as the system ends it.
    virtual bool active() const = 0;

signals:
    // Once per end: a number as SIGTERM's on Linux.
    void received(int signalNumber);
};

// This system's watcher; one at a time.
std::unique_ptr<ShutdownWatch> watchShutdown();

} // namespace kestrel
