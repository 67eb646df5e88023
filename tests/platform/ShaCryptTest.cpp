// SHA-crypt hashes as mkpasswd and crypt(3) make them check here, on
// either system, and nothing else does.
#include <gtest/gtest.h>

#include "platform/PasswordHash.h"
#include "platform/ShaCrypt.h"

namespace kestrel {
namespace {

TEST(ShaCrypt, HashesOfMkpasswdAndTheReferenceCheck) {
    const std::string longKey =
        "0123456789012345678901234567890123456789012345678901234567890123456789xyz";
    const struct Case {
        std::string key, hash;
    } cases[] = {
        {"Hello world!", "$5$saltstring$5B8vYYiY.CVt1RlTTf8KbXBH3hsxY/GNooZaBBGWEc5"},
        {"Hello world!", "$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI6"
                         "8u4OTLiBFdcbYEdFCoEOfaS35inz1"},
        {"sensei", "$5$rounds=1000$aRi0ZorKLg1O66RD$PNBHqDkRUxY77I1NWJtAZxi44OyuWQJdS8rFdwI/qsC"},
        {"四捨五入", "$5$rounds=1000$uLmH5ygqDR27.y14$JbVvInbTMcUSzXSS.8PRIDP/Pq8So1SZqnznzjPN625"},
        {longKey, "$5$rounds=1000$4EPtsUm91QiJtuZM$jqXMFDfCuyWZYibQRzlXknXtzSamfJmI6Er3gTmgad5"},
        {"sensei",
         "$6$rounds=1000$poPLHlvmPanQGsvR$qg/PpmqNZGOpyK.YEoYmwRM0YvyyCYRhaKaIsLpOt0NYivj."
         "1cABYMX8Tk813/FxecMN/ZiYrOImi4x.i4mzR1"},
        {"四捨五入", "$6$rounds=1000$ZnCdahuAhxnJnRfw$3J7y5LXyoo5WtDYrHdeJ50n0BUCQc13EdGYrbjNOwR6pB"
                     "RlxOUMJVw6fOP.idqQW.dQpotQ.jaNFrqgL6T2ih1"},
        {longKey, "$6$rounds=1000$nVgP0PEwotQZlFI7$DIdkzXlVEfgAt1ZUhiIRp20vkb/zmG3xuI.rJjikibODx/"
                  "2SutxEbjn64JvSOh149YwbesZEkypXE0n9.7iaz1"},
        {"", "$6$xjkPCjyoZ5sZ28iX$dJXGnivN7ofbkwOOhLrhEZRzF0iH3mNyfFQws9GUhGvF9urQ258NW0aYlh4fDT/"
             "yej.eYXgpTRbEXnVNX3iJz1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shaCrypt(c.key, c.hash), c.hash) << c.key;
        EXPECT_TRUE(passwordHashMatches(c.hash, c.key)) << c.hash;
        EXPECT_FALSE(passwordHashMatches(c.hash, c.key + "x")) << c.hash;
        EXPECT_FALSE(passwordHashMatches(c.hash, std::string(c.key).append(1, '\0')));
    }
    // A fresh hash checks here (and, being crypt(3)'s, on the other system).
    const std::string made = newPasswordHash("先生のパスワード");
    ASSERT_FALSE(made.empty());
    EXPECT_TRUE(isPasswordHash(made));
    EXPECT_TRUE(passwordHashMatches(made, "先生のパスワード"));
    EXPECT_FALSE(passwordHashMatches(made, "先生のパスワー"));
    // Not SHA-crypt: no hash.
    for (const char* setting : {"", "$1$abc$", "$5$rounds=$abc", "plain"})
        EXPECT_EQ(shaCrypt("x", setting), "") << setting;
}

} // namespace
} // namespace kestrel
