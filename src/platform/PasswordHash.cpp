#include "platform/PasswordHash.h"

namespace kestrel {

// The kinds of hash either system writes; each checks those it can.
bool isPasswordHash(std::string_view stored) {
    for (std::string_view prefix : {"$y$", "$gy$", "$7$", "$6$", "$5$"})
        if (stored.starts_with(prefix)) return true;
    return false;
}

} // namespace kestrel
