#include "platform/PasswordHash.h"

#include <crypt.h>

#include <array>
#include <cstring>
#include <memory>

namespace kestrel {

bool passwordHashMatches(std::string_view stored, std::string_view typed) {
    if (!isPasswordHash(stored)) return false;
    // crypt_r takes C strings: a text with a zero byte cannot be the password.
    if (typed.find('\0') != std::string_view::npos) return false;
    const std::string key(typed);
    const std::string setting(stored);
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    const char* hash = crypt_r(key.c_str(), setting.c_str(), data.get());
    // A failed hash starts with "*": never equal to a stored one.
    return hash && hash[0] != '*' && stored == hash;
}

std::string newPasswordHash(std::string_view password) {
    if (password.find('\0') != std::string_view::npos) return {};
    std::array<char, CRYPT_GENSALT_OUTPUT_SIZE> salt{};
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, salt.data(), static_cast<int>(salt.size())))
        return {};
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    const std::string key(password);
    const char* hash = crypt_r(key.c_str(), salt.data(), data.get());
    if (!hash || hash[0] == '*') return {};
    return hash;
}

} // namespace kestrel
