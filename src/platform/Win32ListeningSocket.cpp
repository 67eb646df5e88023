#include "platform/ListeningSocket.h"

#include <winsock2.h>

namespace kestrel {

void reuseListeningAddress(NativeSocket socket) {
    // Windows lets another program take over a reused address: keep the
    // port to this server instead.
    const BOOL yes = TRUE;
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
}

void raiseListenBacklog(NativeSocket, int) {
    // A listening socket's queue cannot change on Windows: the library is
    // built with a large one there.
}

} // namespace kestrel
