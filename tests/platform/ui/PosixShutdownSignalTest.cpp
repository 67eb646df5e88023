// The end signals reach the event loop as a call, and the handlers that
// were there before come back when the watcher goes.
#include "platform/ui/PosixShutdownSignal.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <signal.h>
#include <vector>

namespace kestrel {
namespace {

// Runs events until `done` holds; the limit is only a guard against a hang.
template <class Pred> bool pumpUntil(Pred done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(5);
    }
    return done();
}

void (*handlerOf(int sig))(int) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    return current.sa_handler;
}

TEST(ShutdownSignalTest, EachEndSignalArrivesOnTheEventLoopAndTheProgramLivesOn) {
    PosixShutdownSignal watcher;
    ASSERT_TRUE(watcher.active());
    std::vector<int> received;
    QObject::connect(&watcher, &PosixShutdownSignal::received,
                     [&received](int sig) { received.push_back(sig); });

    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        received.clear();
        ASSERT_EQ(raise(sig), 0);
        // Nothing runs inside the handler itself.
        EXPECT_TRUE(received.empty());
        ASSERT_TRUE(pumpUntil([&] { return !received.empty(); })) << "signal " << sig;
        EXPECT_EQ(received, std::vector<int>{sig});
    }
    // A burst read at once is one call, not one end per signal.
    received.clear();
    raise(SIGTERM);
    raise(SIGTERM);
    ASSERT_TRUE(pumpUntil([&] { return !received.empty(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    EXPECT_EQ(received, std::vector<int>{SIGTERM});
}

TEST(ShutdownSignalTest, KeepsAnIgnoredHangUpAndRestoresTheHandlersItReplaced) {
    ASSERT_EQ(handlerOf(SIGTERM), SIG_DFL);
    signal(SIGHUP, SIG_IGN);
    {
        PosixShutdownSignal watcher;
        ASSERT_TRUE(watcher.active());
        EXPECT_NE(handlerOf(SIGTERM), SIG_DFL);
        EXPECT_NE(handlerOf(SIGINT), SIG_DFL);
        EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
    }
    EXPECT_EQ(handlerOf(SIGTERM), SIG_DFL);
    EXPECT_EQ(handlerOf(SIGINT), SIG_DFL);
    EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
    signal(SIGHUP, SIG_DFL);

    // A second watcher after the first is gone works again.
    PosixShutdownSignal again;
    EXPECT_TRUE(again.active());
}

} // namespace
} // namespace kestrel
