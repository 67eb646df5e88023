// The hash kind that only libxcrypt's crypt(3) checks (mkpasswd writes it
// when asked for GOST yescrypt): the Linux PCs accept it as the teacher's
// password like any other kind.
#include <gtest/gtest.h>

#include "levelmenu/LevelMenu.h"
#include "platform/PasswordHash.h"

using namespace kestrel;

TEST(TeacherPassword, CryptOnlyHashKindsMatchTheirPasswordOnly) {
    // `echo -n "せんせい1234" | mkpasswd -m gost-yescrypt --stdin`
    const char* hash = "$gy$j9T$eyLTgULH7cyNuMzoU/yZ..$kM5DZsMfzEDWKUB0IkYUGoN7hui4kadP7V5JbiWzH19";
    EXPECT_TRUE(isPasswordHash(hash)) << hash;
    EXPECT_TRUE(teacherPasswordMatches(hash, "せんせい1234")) << hash;
    for (const char* wrong : {"せんせい123", "せんせい1234 ", "センセイ1234", "", hash})
        EXPECT_FALSE(teacherPasswordMatches(hash, wrong)) << hash << " / " << wrong;
}
