#include <windows.h>

#include <bcrypt.h>

#include "platform/PasswordHash.h"
#include "platform/ShaCrypt.h"
#include "platform/Yescrypt.h"

namespace kestrel {

// yescrypt and SHA-crypt, the kinds the Linux PCs make, and scrypt are
// computed here; GOST yescrypt ("$gy$"), which mkpasswd makes only when
// asked, is libxcrypt's alone and matches nothing on Windows.
bool passwordHashMatches(std::string_view stored, std::string_view typed) {
    if (typed.find('\0') != std::string_view::npos) return false;
    std::string hash;
    if (stored.starts_with("$y$") || stored.starts_with("$7$"))
        hash = yescrypt(typed, stored);
    else if (stored.starts_with("$5$") || stored.starts_with("$6$"))
        hash = shaCrypt(typed, stored);
    return !hash.empty() && hash == stored;
}

// yescrypt with crypt(3)'s default cost, as the Linux PCs make it.
std::string newPasswordHash(std::string_view password) {
    if (password.find('\0') != std::string_view::npos) return {};
    unsigned char random[16];
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return {};
    const std::string setting =
        yescryptSetting(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
    return yescrypt(password, setting);
}

} // namespace kestrel
