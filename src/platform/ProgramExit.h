#pragma once
// Ending the program: every open screen is unloaded, newest first, and the
// process ends with the given status. The real service does not return; a
// test double throws ProgramEnded so that the caller stops where it stood.
#include <stdexcept>
#include <string>

namespace kestrel {

class ProgramEnded : public std::runtime_error {
public:
    explicit ProgramEnded(int status)
        : std::runtime_error("program ended with status " + std::to_string(status)),
          m_status(status) {}
    int status() const { return m_status; }

private:
    int m_status;
};

class ProgramExit {
public:
    virtual ~ProgramExit() = default;
    virtual void endProgram(int status) = 0;

    // Work that a log-off must not cut off (an append to the results log)
    // is bracketed by these; holds nest. An end asked for from outside
    // meanwhile waits for the last release, and happens inside that call.
    // Call releaseEnd explicitly, on every path, never from a destructor:
    // ending may throw (test double) or not return.
    virtual void holdEnd() {}
    virtual void releaseEnd() {}
};

} // namespace kestrel
