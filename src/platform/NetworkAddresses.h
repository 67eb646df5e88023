#pragma once
// The addresses by which other computers of the network reach this one, for
// a server to tell its users where to find it.
#include <string>
#include <vector>

namespace kestrel {

// The IPv4 addresses of the interfaces that are up, loopback left out, as
// dotted text; empty when there are none or they cannot be listed.
std::vector<std::string> localNetworkAddresses();

// This computer's name on the network (its host name); empty when the
// system does not tell.
std::string localHostName();

} // namespace kestrel
