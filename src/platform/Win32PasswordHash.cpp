#include <windows.h>

#include <bcrypt.h>

#include "platform/PasswordHash.h"
#include "platform/ShaCrypt.h"

namespace kestrel {

// SHA-crypt is computed here; yescrypt and scrypt hashes (the Linux PCs'
// default) cannot be checked on Windows yet and match nothing.
bool passwordHashMatches(std::string_view stored, std::string_view typed) {
    if (!stored.starts_with("$5$") && !stored.starts_with("$6$")) return false;
    if (typed.find('\0') != std::string_view::npos) return false;
    const std::string hash = shaCrypt(typed, stored);
    return !hash.empty() && hash == stored;
}

// SHA-512 crypt, which the Linux PCs check as well (no yescrypt here).
std::string newPasswordHash(std::string_view password) {
    if (password.find('\0') != std::string_view::npos) return {};
    static constexpr char kSaltCharacters[] =
        "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    unsigned char random[16];
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return {};
    std::string setting = "$6$";
    for (unsigned char r : random)
        setting += kSaltCharacters[r % 64];
    return shaCrypt(password, setting);
}

} // namespace kestrel
