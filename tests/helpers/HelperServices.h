#pragma once
// Services for the helper programs that the sharing tests start as separate
// processes. Their clock runs its millisecond tick a hundred times faster
// than real time, so the one-second waits of the retry protocol take ten
// real milliseconds and hundreds of contended appends finish quickly.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/Services.h"
#include "context/Context.h"

namespace kestrel::helper {

class FastClock : public Clock {
public:
    LocalTime now() override { return m_system.now(); }
    uint32_t tickMs() override {
        using namespace std::chrono;
        const auto us = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
        return static_cast<uint32_t>(us / 10); // 100 ticks per real millisecond
    }

private:
    SystemClock m_system;
};

class SleepingEventPump : public EventPump {
public:
    void processEvents() override {}
    void idle(int) override { std::this_thread::sleep_for(std::chrono::microseconds(100)); }
};

class StderrDialogs : public Dialogs {
public:
    MessageAnswer message(const std::string& text, const std::string&, MessageButtons) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return MessageAnswer::Ok;
    }
};

class ImmediateExit : public ProgramExit {
public:
    void endProgram(int status) override { std::_Exit(status); }
};

class NoRandom : public Random {
public:
    void seed(double) override {}
    float next() override { return 0; }
};

class NoAudio : public Audio {
public:
    PlayResult playToEnd(const std::filesystem::path&) override { return {}; }
};

class NoLauncher : public ProcessLauncher {
public:
    bool startDetached(const std::string&, const std::vector<std::string>&,
                       std::string& error) override {
        error = "not here";
        return false;
    }
};

struct HelperContext {
    FastClock clock;
    NoRandom random;
    StderrDialogs dialogs;
    ImmediateExit exit;
    SleepingEventPump events;
    NoAudio audio;
    NoLauncher processes;
    Context ctx{Services{clock, random, dialogs, exit, events, audio, processes}};

    explicit HelperContext(const std::string& dataFolder) { ctx.folders.DataFolder = dataFolder; }
};

// A writer's records carry who wrote them and in which order, so that a
// reader can tell a torn, lost or doubled record: the student is the writer
// (1..8), the seconds are writer * 100000 + sequence, the level follows the
// sequence and the school code names the writer.
inline int16_t levelOfSequence(int sequence) {
    return static_cast<int16_t>(sequence % 35 + 1);
}
inline int32_t secondsOf(int writer, int sequence) {
    return writer * 100000 + sequence;
}

} // namespace kestrel::helper
