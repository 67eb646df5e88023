#pragma once
// Reads a text file item by item: an item ends at a comma or a line end,
// blanks around it are dropped, and an item in double quotes may contain
// commas. This is how every text file of the shared folder is read.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

class ItemReader {
public:
    // How a quote inside a quoted item is read: it ends the item, or (in a
    // file this program writes with any text in its cells) two quotes in a
    // row stand for one.
    enum class Quotes { EndItem, Doubled };

    explicit ItemReader(std::string text, Quotes quotes = Quotes::EndItem);

    // True when only blanks and line ends are left.
    bool atEnd() const;
    // The next item, or nothing at the end of the text.
    std::optional<std::string> next();
    // All items that are left.
    std::vector<std::string> rest();

private:
    std::string m_text;
    Quotes m_quotes;
    size_t m_pos = 0;
    size_t m_contentEnd = 0;   // past the last character that is no blank or line end
    bool m_afterComma = false; // a comma always opens one more item
};

// Splits a whole text into items.
std::vector<std::string> readItems(std::string_view text,
                                   ItemReader::Quotes quotes = ItemReader::Quotes::EndItem);

// Trims blanks (space, tab, ideographic space is kept) at both ends.
std::string trimBlanks(std::string_view text);

} // namespace kestrel
