#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "support/Fakes.h"
#include "text/Characters.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"
#include "text/SortedLines.h"

using namespace kestrel;

TEST(LeadingNumber, ReadsUpToTheFirstOtherCharacter) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {{"1,000", 1}, {"40+", 40},          {"400.0", 400}, {"  -12.5x", -12.5},
                 {"", 0},      {"abc", 0},           {"+7", 7},      {"1.2.3", 1.2},
                 {"00000", 0}, {"12345学校", 12345}, {"-", 0},       {".5", 0.5}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(c.text), c.value) << c.text;
}

TEST(ItemReader, SplitsAtCommasAndLineEnds) {
    EXPECT_EQ(readItems("a, b ,c\r\nd\r\n"), (std::vector<std::string>{"a", "b", "c", "d"}));
    // A quoted item keeps its commas and blanks; a last line without line end still counts.
    EXPECT_EQ(readItems("\"x, y\" , z\r\n  last"), (std::vector<std::string>{"x, y", "z", "last"}));
    // Trailing empty items, also at the very end of the text.
    EXPECT_EQ(readItems("1,2,,,\r\n3"), (std::vector<std::string>{"1", "2", "", "", "", "3"}));
    EXPECT_EQ(readItems("1,,,\r\n"), (std::vector<std::string>{"1", "", "", ""}));
    EXPECT_TRUE(readItems("\r\n  \r\n").empty());
}

TEST(ItemReader, BlankLinesBeforeAnItemAreEmptyItemsReadInOnePass) {
    // Each blank line between items is an empty item; blanks at the end are none.
    EXPECT_EQ(readItems("a\r\n\r\n \r\nb\r\n\r\n"), (std::vector<std::string>{"a", "", "", "b"}));
    ItemReader reader("a,\r\n  ");
    EXPECT_EQ(reader.next(), "a");
    EXPECT_FALSE(reader.atEnd()); // the comma opens one more item
    EXPECT_EQ(reader.next(), "");
    EXPECT_TRUE(reader.atEnd());
    // A file of a million blank lines and then one item: looking ahead from
    // every line took hours.
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "\r\n";
    text += "x";
    const std::vector<std::string> items = readItems(text);
    ASSERT_EQ(items.size(), 1000001u);
    EXPECT_EQ(items.back(), "x");
}

TEST(ItemReader, DoubledQuotesStandForOneWhereAFileUsesThem) {
    const std::string text = "\"a\"\"b\",\"\"\"\",\"x,\"\"y\"\"\"\r\n\" 7 \",c";
    EXPECT_EQ(readItems(text, ItemReader::Quotes::Doubled),
              (std::vector<std::string>{"a\"b", "\"", "x,\"y\"", " 7 ", "c"}));
    // Elsewhere a quote ends the item, as the other files of the shared folder are read.
    EXPECT_EQ(readItems("\"a\"\"b\",c"), (std::vector<std::string>{"a", "c"}));
}

// The order of a Japanese desktop's sorted lists: CP932 bytes, ASCII
// capitals folded (never the second byte of a kanji, such as ソ's 0x5C),
// half-width kana between the two levels of kanji, and characters CP932 has
// not after all it has.
TEST(SortedLines, Cp932OrderWithAsciiCaseFoldedAndEqualLinesInArrivalOrder) {
    const std::vector<std::string> lines = {"b",  "B2",  "A",    "a",     "あ", "ア", "亜",
                                            "[",  "_",   "2016", "2015z", "ab", "ｱ",  "Ａ",
                                            "ソ", "ソa", "凜",   "腕",    "𠮷", "ー"};
    const std::vector<std::string> want = {"2015z", "2016", "[",  "_",  "A",  "a",  "ab",
                                           "b",     "B2",   "ー", "Ａ", "あ", "ア", "ソ",
                                           "ソa",   "亜",   "腕", "ｱ",  "凜", "𠮷"};
    SortedLines s;
    for (const std::string& line : lines)
        s.add(line);
    EXPECT_EQ(s.lines(), want);

    SortedLines bulk;
    bulk.assign(lines);
    EXPECT_EQ(bulk.lines(), want);
    EXPECT_EQ(bulk.add("ソA"), 15); // after "ソa", its equal
    bulk.removeAt(15);
    EXPECT_EQ(bulk.lines(), want);
}

TEST(SortedLines, RankingOrderPutsLinesWithoutARunAfterEveryRankedLine) {
    SortedLines s(true);
    for (const char* line : {" 9 山田", "-- 佐藤", "10 鈴木", "--abc", " 1 田中", "-1 x"})
        s.add(line);
    const std::vector<std::string> want = {" 1 田中", " 9 山田", "-1 x",
                                           "10 鈴木", "-- 佐藤", "--abc"};
    EXPECT_EQ(s.lines(), want);
    // Plain order keeps them where their text puts them.
    SortedLines plain;
    for (const char* line : {" 9 山田", "-- 佐藤", "10 鈴木"})
        plain.add(line);
    EXPECT_EQ(plain.at(1), "-- 佐藤");
    s.removeAt(0);
    s.removeAt(99);
    EXPECT_EQ(s.size(), 5);
}

TEST(Cp932, FilesReadThroughThePlatformWithTheirOwnMessages) {
    using kestrel::test::TempDir;
    TempDir dir;
    kestrel::test::writeBytes(dir / "ok.txt", "\x8e\x6c\x8e\xcc\x8c\xdc\x93\xfc\r\n"); // 四捨五入
    kestrel::test::writeBytes(dir / "utf8.txt", "\xe5\x9b\x9b");
    std::filesystem::create_directory(dir / "folder");
    const struct Case {
        const char* name;
        FileError::Kind kind;
        const char* says; // empty: read
    } cases[] = {{"ok.txt", FileError::Kind::Io, ""},
                 {"missing.txt", FileError::Kind::NotFound, "」が見つかりません。"},
                 {"folder", FileError::Kind::Io, "」を開けません。("},
                 {"utf8.txt", FileError::Kind::Encoding, "シフトJIS(CP932)ではありません"}};
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(readCp932File(dir / c.name), "四捨五入\r\n") << c.name;
            EXPECT_STREQ(c.says, "") << c.name;
        } catch (const FileError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.name;
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(displayPath(dir / c.name)), std::string::npos);
        }
    }
    // What CP932 cannot hold is refused, never replaced.
    EXPECT_THROW(utf8ToCp932("a\xf0\x9f\x98\x80"), std::invalid_argument);
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932("－～")), "－～");
}
