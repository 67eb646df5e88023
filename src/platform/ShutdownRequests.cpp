#include "platform/ShutdownRequests.h"

namespace kestrel {

std::optional<int> ShutdownRequests::release() {
    if (m_holds == 0) return std::nullopt;
    if (--m_holds > 0) return std::nullopt;
    std::optional<int> now = m_requested;
    m_requested.reset();
    return now;
}

std::optional<int> ShutdownRequests::request(int status) {
    if (m_holds == 0) return status;
    if (!m_requested) m_requested = status;
    return std::nullopt;
}

} // namespace kestrel
