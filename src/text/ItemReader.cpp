#include "text/ItemReader.h"

namespace kestrel {
namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}
} // namespace

std::string trimBlanks(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

ItemReader::ItemReader(std::string text, Quotes quotes)
    : m_text(std::move(text)), m_quotes(quotes), m_contentEnd(m_text.size()) {
    // Found once: looking ahead at every item would take time that grows
    // with the square of a file's blank lines.
    while (m_contentEnd > 0 &&
           (isBlank(m_text[m_contentEnd - 1]) || isLineEnd(m_text[m_contentEnd - 1])))
        --m_contentEnd;
}

bool ItemReader::atEnd() const {
    if (m_afterComma) return false;
    return m_pos >= m_contentEnd;
}

std::optional<std::string> ItemReader::next() {
    if (atEnd()) return std::nullopt;
    m_afterComma = false;
    const size_t n = m_text.size();
    while (m_pos < n && isBlank(m_text[m_pos]))
        ++m_pos;
    std::string item;
    if (m_pos < n && m_text[m_pos] == '"') {
        // Quoted: everything up to the closing quote, commas and all.
        ++m_pos;
        for (;;) {
            const size_t close = m_text.find('"', m_pos);
            if (close == std::string::npos) {
                item += m_text.substr(m_pos);
                m_pos = n;
                break;
            }
            item += m_text.substr(m_pos, close - m_pos);
            m_pos = close + 1;
            if (m_quotes == Quotes::Doubled && m_pos < n && m_text[m_pos] == '"') {
                item += '"';
                ++m_pos;
                continue;
            }
            break;
        }
        // Anything between the closing quote and the separator is dropped.
        while (m_pos < n && m_text[m_pos] != ',' && !isLineEnd(m_text[m_pos]))
            ++m_pos;
    } else {
        size_t start = m_pos;
        while (m_pos < n && m_text[m_pos] != ',' && !isLineEnd(m_text[m_pos]))
            ++m_pos;
        item = trimBlanks(std::string_view(m_text).substr(start, m_pos - start));
    }
    // Consume the separator: a comma, or one line end (CR LF, CR or LF).
    if (m_pos < n) {
        if (m_text[m_pos] == ',') {
            ++m_pos;
            m_afterComma = true;
            // A comma right before the line end closes an empty item there,
            // so "a,b,,\r\n" gives four items; the line end is left for it.
        } else if (m_text[m_pos] == '\r') {
            ++m_pos;
            if (m_pos < n && m_text[m_pos] == '\n') ++m_pos;
        } else {
            ++m_pos;
        }
    }
    return item;
}

std::vector<std::string> ItemReader::rest() {
    std::vector<std::string> items;
    while (auto item = next())
        items.push_back(std::move(*item));
    return items;
}

std::vector<std::string> readItems(std::string_view text, ItemReader::Quotes quotes) {
    return ItemReader(std::string(text), quotes).rest();
}

} // namespace kestrel
