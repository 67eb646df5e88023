// yescrypt and scrypt hashes as mkpasswd and crypt(3) make them check here,
// on either system: a teacher's password hashed on a Linux PC opens the
// tools on a Windows PC, and the other way round.
#include <gtest/gtest.h>

#include "platform/PasswordHash.h"
#include "platform/Yescrypt.h"

namespace kestrel {
namespace {

TEST(Yescrypt, HashesOfMkpasswdAndCryptCheck) {
    std::string long40;
    for (int i = 0; i < 40; ++i)
        long40 += "あ";
    const struct Case {
        std::string key, hash;
    } cases[] = {
        // The demo school's teacher password, 1234.
        {"1234", "$y$j9T$gtnpTc2x7DbhdObHG.doh.$u92e/LEtgeDPHk8o9Efr52z5AlitvKgxb23o0oUVpOA"},
        // `mkpasswd -m yescrypt -R COST PASSWORD`: costs 1 (r=8), 3 and 5 (the default).
        {"せんせい1234",
         "$y$j75$2OVrwFVyrHFLdyWaSapcP1$MD1lZvdDOldACwjeXhhxLhXNjFu0Xw7DwO5OexS1wzD"},
        {"", "$y$j75$RRak3jdOF5gl/XWL6iRKd0$5C2ApheEb6W3DksFjyx2A9qwLo74pzBPY/mWXnLe41/"},
        {"Kyoushi 2026",
         "$y$j75$IygXyTksVIufWtjy/5C7E.$MkBsSvOFTcZ3ZEZfGX/KE45aPDGL0GrR3wM6UcTNRq3"},
        {"せんせい1234",
         "$y$j7T$.1D2M268EmeLsOg7jmbgw0$vQDIxjY3fOkYJSACq/NGr7vaZvU675SxRFoMUiF/Ds6"},
        {"Kyoushi 2026",
         "$y$j7T$XEDEiZmnMui2CyliQRvY1/$QyjUjmavDaeorbPR5..3gI9CNUTY43y671POnLAtzN2"},
        {"せんせい1234",
         "$y$j9T$mJp3qWcFmv9W1FR541h1B0$EYGBHwl6jSnHekxyEyZXsmXgoSwTD5iBWvzvWIJ5uT3"},
        {long40, "$y$j85$jZ2xyK.HBTC23t.4t2cgR.$ViQimsNcaiyprFLs/Y7JcNQrKnxmkx04neva5eqS7gC"},
        // crypt(3) with two lanes (p=2), and with more time (t=3).
        {"pw", "$y$j75..$F5Jx5fExrKuPp53xLKQ..1$Nw3ChnJMXRveTL7lrLQdO8MbBpL01KxRLNOrCH6/sP3"},
        {"pw", "$y$j75/0$F5Jx5fExrKuPp53xLKQ..1$.yLZpqjvu4893kP9X8LvRecWzykkYp.oTzSLn18LUk4"},
        // scrypt: `mkpasswd -m scrypt -R COST`, costs 6 and 7 (the default), and
        // crypt(3) with three lanes.
        {"かな pw",
         "$7$BU..../....tXTENQ7b1u8l7FMBSDls31$5D7R2MhFclB91OjBv7yONa49zUzqVs0/vEJ5.CI6uZ8"},
        {"かな pw",
         "$7$CU..../....EBzpUu6yUSjxduRSn2FrS0$wCgzmiG7rPpl9Jjg/OdUc6xurdXFjGmT3vSVN0LNMQ."},
        {"pw", "$7$96..../1...F5Jx5fExrKuPp53xLKQ..1$r3tGJHr30oBYhfzPUF4GHt0WudVXJLhzYn6GeCfi.BC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(yescrypt(c.key, c.hash), c.hash) << c.key;
        EXPECT_TRUE(passwordHashMatches(c.hash, c.key)) << c.hash;
        EXPECT_FALSE(passwordHashMatches(c.hash, c.key + "x")) << c.hash;
    }
    // The setting alone gives the whole hash.
    EXPECT_EQ(yescrypt("1234", "$y$j9T$gtnpTc2x7DbhdObHG.doh."), cases[0].hash);
}

TEST(Yescrypt, SettingsCryptRefusesGiveNoHash) {
    for (const char* setting : {
             "", "$y$",
             "$y$j9T",                             // no salt part
             "$y$j9T$abc$",                        // a salt with bits left over
             "$y$j9T$ab!d$",                       // not a salt character
             "$y$j9T3/$F5Jx5fExrKuPp53xLKQ..1$",   // a hash upgrade
             "$y$j.T$F5Jx5fExrKuPp53xLKQ..1$",     // N of 2
             "$y$jzzzzzT$F5Jx5fExrKuPp53xLKQ..1$", // more memory than crypt(3) allows
             "$6$saltstring$",                     // another kind
         })
        EXPECT_EQ(yescrypt("pw", setting), "") << setting;
}

TEST(Yescrypt, DefaultSettingIsCryptsAndMakesACheckableHash) {
    std::string random;
    for (int i = 0; i < 16; ++i)
        random += static_cast<char>(i * 37 + 11);
    // crypt_gensalt_rn("$y$", 0, random, 16) writes the same.
    EXPECT_EQ(yescryptSetting(random), "$y$j9T$9.HJux7ldvkAMpbc5nS2q.");
    const std::string made = newPasswordHash("先生のパスワード");
    ASSERT_TRUE(made.starts_with("$y$j9T$")) << made;
    EXPECT_TRUE(passwordHashMatches(made, "先生のパスワード"));
    EXPECT_FALSE(passwordHashMatches(made, "先生のパスワー"));
}

} // namespace
} // namespace kestrel
