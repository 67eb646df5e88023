// The teacher's password kept as a crypt(3) hash: hashes that mkpasswd
// wrote for a password typed in a terminal match that password's UTF-8
// bytes and nothing else; plain text still compares character for character.
#include <gtest/gtest.h>

#include "levelmenu/LevelMenu.h"
#include "platform/PasswordHash.h"

using namespace kestrel;

namespace {

// `echo -n "せんせい1234" | mkpasswd -m METHOD --stdin`, for the kinds both
// systems check (GOST yescrypt: TeacherPasswordCryptOnlyTest.cpp).
const char* const kMkpasswdHashes[] = {
    "$y$j9T$SyBo8z/2nKsr6TZWDkbR00$tbZnoQFn1nrxZSwZn7D0tdLJG1JRzH1LgQ3Q6pi6sbC",
    "$7$CU..../....D/TAYZY9dcGGQfZYoqhlC0$jC/WEJA1jK9aWYGFUMjmD0.2eXMzh6mdnLQbbiS/In/",
    "$6$Q10lWZlqfh3pfHdU$ELhaoRKt7N3uRt9NeM8sO19paO2Ed6gjyui.w3VzPewhpnBPbaqPQegNmSk2heNBReMb2hut"
    "IE0FEp7hmJuc81",
    "$5$8fcVJCYe7QZN/jk4$yvIT4mRPNrD0jiKeRPkZAjhsQWoWEt/SiplYMr7cMn1",
};

} // namespace

TEST(TeacherPassword, EachHashKindMatchesItsPasswordOnly) {
    for (const char* hash : kMkpasswdHashes) {
        EXPECT_TRUE(isPasswordHash(hash)) << hash;
        EXPECT_TRUE(teacherPasswordMatches(hash, "せんせい1234")) << hash;
        for (const char* wrong : {"せんせい123", "せんせい1234 ", "センセイ1234", "", hash})
            EXPECT_FALSE(teacherPasswordMatches(hash, wrong)) << hash << " / " << wrong;
    }
    // A hash this program makes is one of these kinds and matches likewise.
    const std::string made = newPasswordHash("1234");
    ASSERT_TRUE(made.starts_with("$y$")) << made;
    EXPECT_TRUE(teacherPasswordMatches(made, "1234"));
    EXPECT_FALSE(teacherPasswordMatches(made, "12345"));
    EXPECT_NE(newPasswordHash("1234"), made) << "the salt is fresh";
}

TEST(TeacherPassword, PlainTextAndOtherHashesCompareAsText) {
    const struct Case {
        const char* stored;
        const char* typed;
        bool opens;
    } cases[] = {
        {"1234", "1234", true},
        {"1234", " 1234", false},
        {"Kyoushi", "kyoushi", false},
        {"", "", true},
        // Kinds this program does not check stay plain text, as on older PCs.
        {"$1$abc$def", "$1$abc$def", true},
        {"$2b$05$abcdefghijklmnopqrstuu", "x", false},
        {"$y$", "$y$", false}, // a hash prefix alone is no password
        {"$y$broken", "anything", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(teacherPasswordMatches(c.stored, c.typed), c.opens)
            << c.stored << " / " << c.typed;
}
