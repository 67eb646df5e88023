#include "platform/ui/PosixShutdownSignal.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace kestrel {
namespace {

// The handler reads this; only a lock-free atomic is safe there.
std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onShutdownSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_writeFd.load(std::memory_order_relaxed);
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up; the byte is not needed then.
    if (fd >= 0 && ::write(fd, &byte, 1) < 0) {
    }
    errno = savedErrno;
}

} // namespace

PosixShutdownSignal::PosixShutdownSignal(QObject* parent) : ShutdownWatch(parent) {
    if (g_writeFd.load() >= 0)
        throw std::logic_error("only one ShutdownSignal may watch at a time");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_readFd = fds[0];
    m_writeFd = fds[1];
    g_writeFd.store(m_writeFd);

    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PosixShutdownSignal::drain);

    for (size_t i = 0; i < kSignals.size(); ++i) {
        const int sig = kSignals[i];
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) != 0) continue;
        if (sig != SIGTERM && current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = onShutdownSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted reads, writes and lock waits go on by themselves.
        action.sa_flags = SA_RESTART;
        if (::sigaction(sig, &action, &m_previous[i]) == 0) m_installed[i] = true;
    }
    // Started with these blocked (inherited mask), they would never arrive.
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals)
        sigaddset(&set, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

PosixShutdownSignal::~PosixShutdownSignal() {
    for (size_t i = 0; i < kSignals.size(); ++i)
        if (m_installed[i]) ::sigaction(kSignals[i], &m_previous[i], nullptr);
    delete m_notifier;
    if (m_writeFd >= 0) {
        g_writeFd.store(-1);
        ::close(m_writeFd);
        ::close(m_readFd);
    }
}

void PosixShutdownSignal::drain() {
    int first = 0;
    unsigned char buffer[16];
    for (;;) {
        const ssize_t got = ::read(m_readFd, buffer, sizeof buffer);
        if (got > 0) {
            if (first == 0) first = buffer[0];
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break;
    }
    if (first != 0) emit received(first);
}

std::unique_ptr<ShutdownWatch> watchShutdown() {
    return std::make_unique<PosixShutdownSignal>();
}

} // namespace kestrel
