// The portable yescrypt and scrypt against libxcrypt's crypt(3) over many
// settings at once: random passwords (empty, long, any bytes but zero),
// salts of every length, costs, block sizes, lanes and times, and settings
// crypt(3) refuses, which must give no hash here either.
#include <crypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "platform/Yescrypt.h"

namespace kestrel {
namespace {

constexpr const char* kItoa64 = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::string cryptOf(const std::string& key, const std::string& setting) {
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    const char* hash = crypt_r(key.c_str(), setting.c_str(), data.get());
    return hash && hash[0] != '*' ? hash : "";
}

TEST(YescryptDifferential, AgreesWithCryptOnRandomSettings) {
    std::mt19937 rng(20261210);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const auto chars = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += kItoa64[pick(64)];
        return s;
    };
    int hashed = 0;
    for (int i = 0; i < 160; ++i) {
        std::string key;
        for (int k = pick(4) == 0 ? 0 : 1 + pick(90); k > 0; --k)
            key += static_cast<char>(1 + pick(255));
        std::string setting;
        if (i % 4 == 3) {
            // scrypt: N, r and p as five characters each, a raw salt.
            setting = "$7$" + std::string(1, kItoa64[2 + pick(8)]) + kItoa64[1 + pick(4)] + "...." +
                      kItoa64[1 + pick(3)] + "...." + chars(pick(20)) + "$";
        } else {
            // yescrypt: its flavour, N (2^4..2^11), r (1..8), now and then p and t.
            setting = "$y$j" + std::string(1, kItoa64[3 + pick(8)]) + kItoa64[pick(8)];
            if (pick(3) == 0)
                setting += std::string(1, kItoa64[2]) + kItoa64[pick(3)] + kItoa64[pick(4)];
            setting += "$" + chars(pick(30)) + "$";
        }
        const std::string theirs = cryptOf(key, setting);
        EXPECT_EQ(yescrypt(key, setting), theirs) << setting << " / " << key.size();
        hashed += !theirs.empty();
    }
    EXPECT_GT(hashed, 60) << "a good part of the settings are ones crypt(3) computes";
}

} // namespace
} // namespace kestrel
