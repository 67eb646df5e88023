#pragma once
// Whether an end asked for from outside the program (a log-off, a shutdown)
// happens now or waits. Work that must not be cut off, such as an append to
// the results log, holds the end; holds nest. A request made while anything
// holds is kept and takes effect when the last hold is released. Plain
// bookkeeping: the caller ends the program when told to.
#include <optional>

namespace kestrel {

class ShutdownRequests {
public:
    void hold() { ++m_holds; }
    // The status to end with now when this released the last hold and an
    // end was requested meanwhile; a release without a hold does nothing.
    std::optional<int> release();
    // The status to end with now when nothing holds the end; otherwise the
    // request is kept (the first status wins) and nothing is returned.
    std::optional<int> request(int status);

    bool held() const { return m_holds > 0; }
    bool pending() const { return m_requested.has_value(); }

private:
    int m_holds = 0;
    std::optional<int> m_requested;
};

} // namespace kestrel
