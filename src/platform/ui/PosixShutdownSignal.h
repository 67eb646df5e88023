#pragma once
// Turns the signals that end a desktop program (SIGTERM at log-off or
// shutdown, SIGINT, SIGHUP) into a Qt signal on the event loop of the
// thread that created the watcher. The handler only writes the signal's
// number to a pipe, which is all a handler may safely do; a socket notifier
// reads it. SIGINT and SIGHUP that the program was started with ignored
// (nohup, a background job) stay ignored. One watcher at a time; the
// handlers it replaced come back when it is destroyed.
#include <array>
#include <signal.h>

#include "platform/ui/ShutdownWatch.h"

class QSocketNotifier;

namespace kestrel {

class PosixShutdownSignal : public ShutdownWatch {
    Q_OBJECT
public:
    explicit PosixShutdownSignal(QObject* parent = nullptr);
    ~PosixShutdownSignal() override;
    PosixShutdownSignal(const PosixShutdownSignal&) = delete;
    PosixShutdownSignal& operator=(const PosixShutdownSignal&) = delete;

    // False when the pipe could not be made: the signals keep their
    // previous handling (the program is killed as before).
    bool active() const override { return m_notifier != nullptr; }

    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

private:
    void drain();

    int m_readFd = -1;
    int m_writeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, kSignals.size()> m_previous{};
    std::array<bool, kSignals.size()> m_installed{};
};

} // namespace kestrel
