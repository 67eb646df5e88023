#include "platform/PasswordHash.h"

namespace kestrel {

bool isPasswordHash(std::string_view stored) {
    for (std::string_view prefix : {"$y$", "$gy$", "$7$", "$6$", "$5$"})
        if (stored.starts_with(prefix)) return true;
    return false;
}

// Windows has no crypt(3): no hash is checked yet.
bool passwordHashMatches(std::string_view, std::string_view) {
    return false;
}

std::string newPasswordHash(std::string_view) {
    return {};
}

} // namespace kestrel
