#pragma once
// The listening socket of a server, as its HTTP library made it: a classroom
// of tablets connects all at once when the teacher shows the address, more
// at once than a library's small default queue of waiting connections holds.
#include <cstdint>

namespace kestrel {

using NativeSocket = std::uintptr_t; // the system's socket handle

// A server started again binds its port at once, without waiting for the
// connections of the previous one to time out.
void reuseListeningAddress(NativeSocket socket);
// Up to `backlog` connections wait to be accepted (where the system lets a
// listening socket's queue be changed).
void raiseListenBacklog(NativeSocket socket, int backlog);

} // namespace kestrel
