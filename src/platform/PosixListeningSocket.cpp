#include "platform/ListeningSocket.h"

#include <sys/socket.h>

namespace kestrel {

void reuseListeningAddress(NativeSocket socket) {
    const int yes = 1;
    setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void raiseListenBacklog(NativeSocket socket, int backlog) {
    // Listening again on a listening socket changes only its queue.
    listen(static_cast<int>(socket), backlog);
}

} // namespace kestrel
