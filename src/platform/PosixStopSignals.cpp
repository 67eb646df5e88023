#include "platform/StopSignals.h"

#include <pthread.h>
#include <signal.h>

namespace kestrel {
namespace {

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void holdStopSignals() {
    const sigset_t set = stopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void waitForStopSignal() {
    const sigset_t set = stopSet();
    int number = 0;
    while (sigwait(&set, &number) != 0) {
    }
}

} // namespace kestrel
