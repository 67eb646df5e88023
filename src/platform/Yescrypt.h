#pragma once
// yescrypt, the "$y$" password hash that Linux's crypt(3) makes by default,
// in portable code: a hash made on a Linux PC checks on a Windows PC, which
// has no crypt(3). The flavour mkpasswd and crypt(3) write is computed, with
// any cost, lanes (p) and time (t), and so is scrypt ("$7$"); the flavours
// they never write (classic scrypt under "$y$", a ROM, hash upgrades) give
// no hash.
#include <string>
#include <string_view>

namespace kestrel {

// The hash of `key` by `setting` ("$y$j9T$salt", "$7$...", or a whole hash,
// whose parameters and salt are taken). Empty for a setting that is none of
// these or that crypt(3) refuses.
std::string yescrypt(std::string_view key, std::string_view setting);

// The setting crypt(3) makes by default ("$y$j9T$" and the salt: 16 MiB,
// about a third of a second here) with `randomBytes` (16 of them) as salt.
std::string yescryptSetting(std::string_view randomBytes);

} // namespace kestrel
