#pragma once
// SHA-crypt, the "$5$" (SHA-256) and "$6$" (SHA-512) password hashes of
// crypt(3), in portable code: a hash made on a Linux PC checks on a
// Windows PC, which has no crypt(3), and the other way round.
#include <string>
#include <string_view>

namespace kestrel {

// The hash of `key` by `setting` ("$5$salt", "$6$rounds=N$salt", or a
// whole hash of either kind, whose salt and rounds are taken). Empty when
// `setting` is neither kind.
std::string shaCrypt(std::string_view key, std::string_view setting);

// The SHA-256 digest of `data`: 32 bytes.
std::string sha256(std::string_view data);

} // namespace kestrel
