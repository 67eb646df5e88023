#pragma once
// crypt(3) password hashes, as mkpasswd writes them: the teacher's password
// may be kept in the shared configuration as a hash, so that a student who
// opens the file reads nothing that unlocks the teacher's tools.
#include <string>
#include <string_view>

namespace kestrel {

// Whether `stored` is a hash this program checks ("$y$" yescrypt, "$gy$",
// "$7$" scrypt, "$6$" SHA-512, "$5$" SHA-256) rather than plain text.
bool isPasswordHash(std::string_view stored);

// Whether `typed` (UTF-8 bytes, as a terminal gives them to mkpasswd)
// hashes to `stored`. False for a hash the system cannot compute.
bool passwordHashMatches(std::string_view stored, std::string_view typed);

// A new yescrypt hash of `password` with a fresh random salt; empty when
// the system cannot make one.
std::string newPasswordHash(std::string_view password);

} // namespace kestrel
