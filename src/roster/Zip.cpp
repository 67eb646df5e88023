#include "roster/Zip.h"

#include <array>

namespace kestrel {
namespace {

// Deflate's bits, least significant first. Reading past the end gives
// zeros and marks the stream as cut, which the decoder checks at every
// block and symbol.
class BitReader {
public:
    explicit BitReader(std::string_view in) : m_in(in) {}

    unsigned bits(int need) {
        uint32_t value = m_buffer;
        while (m_count < need) {
            if (m_pos >= m_in.size()) {
                m_cut = true;
                return 0;
            }
            value |= uint32_t{static_cast<unsigned char>(m_in[m_pos++])} << m_count;
            m_count += 8;
        }
        m_buffer = value >> need;
        m_count -= need;
        return value & ((1u << need) - 1);
    }
    // A stored block starts at a byte.
    void toByte() {
        m_buffer = 0;
        m_count = 0;
    }
    bool bytes(size_t n, std::string& out) {
        if (m_in.size() - m_pos < n) return false;
        out.append(m_in.substr(m_pos, n));
        m_pos += n;
        return true;
    }
    bool cut() const { return m_cut; }

private:
    std::string_view m_in;
    size_t m_pos = 0;
    uint32_t m_buffer = 0;
    int m_count = 0;
    bool m_cut = false;
};

constexpr int kMaxBits = 15;

// A canonical Huffman code: how many codes each length has, and the symbols
// in the order of their codes.
struct Huffman {
    std::array<uint16_t, kMaxBits + 1> count{};
    std::vector<uint16_t> symbol;

    // False for lengths that promise more codes than there are (an
    // incomplete code is allowed: a code that is never sent does no harm).
    bool build(const uint8_t* lengths, size_t n) {
        count.fill(0);
        for (size_t s = 0; s < n; ++s)
            ++count[lengths[s]];
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - count[static_cast<size_t>(len)];
            if (left < 0) return false;
        }
        std::array<uint16_t, kMaxBits + 2> offset{};
        for (int len = 1; len <= kMaxBits; ++len)
            offset[static_cast<size_t>(len) + 1] = static_cast<uint16_t>(
                offset[static_cast<size_t>(len)] + count[static_cast<size_t>(len)]);
        symbol.assign(n, 0);
        for (size_t s = 0; s < n; ++s)
            if (lengths[s] != 0) symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
        count[0] = 0;
        return true;
    }

    // The next symbol, -1 for a code that was not given.
    int decode(BitReader& in) const {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>(in.bits(1));
            const int n = count[static_cast<size_t>(len)];
            if (code - n < first) return symbol[static_cast<size_t>(index + (code - first))];
            index += n;
            first = (first + n) << 1;
            code <<= 1;
            if (in.cut()) return -1;
        }
        return -1;
    }
};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The symbols of one block up to its end.
bool inflateBlock(BitReader& in, const Huffman& lengths, const Huffman& distances, std::string& out,
                  size_t maxBytes) {
    for (;;) {
        const int s = lengths.decode(in);
        if (s < 0 || in.cut()) return false;
        if (s < 256) {
            if (out.size() >= maxBytes) return false;
            out += static_cast<char>(s);
            continue;
        }
        if (s == 256) return true;
        const int l = s - 257;
        if (l >= 29) return false;
        const size_t length = kLengthBase[l] + in.bits(kLengthExtra[l]);
        const int d = distances.decode(in);
        if (d < 0 || d >= 30) return false;
        const size_t distance = kDistanceBase[d] + in.bits(kDistanceExtra[d]);
        if (in.cut() || distance > out.size() || length > maxBytes - out.size()) return false;
        // The copy may overlap what it writes: byte by byte.
        size_t from = out.size() - distance;
        for (size_t k = 0; k < length; ++k)
            out += out[from++];
    }
}

bool fixedCodes(Huffman& lengths, Huffman& distances) {
    uint8_t l[288];
    for (int s = 0; s < 288; ++s)
        l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    uint8_t d[30];
    for (uint8_t& v : d)
        v = 5;
    return lengths.build(l, 288) && distances.build(d, 30);
}

bool dynamicCodes(BitReader& in, Huffman& lengths, Huffman& distances) {
    const size_t nLengths = in.bits(5) + 257;
    const size_t nDistances = in.bits(5) + 1;
    const size_t nCodes = in.bits(4) + 4;
    if (in.cut() || nLengths > 286 || nDistances > 30) return false;
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    uint8_t codeLengths[19] = {};
    for (size_t k = 0; k < nCodes; ++k)
        codeLengths[kOrder[k]] = static_cast<uint8_t>(in.bits(3));
    Huffman codes;
    if (in.cut() || !codes.build(codeLengths, 19)) return false;
    uint8_t l[286 + 30] = {};
    const size_t total = nLengths + nDistances;
    for (size_t k = 0; k < total;) {
        const int s = codes.decode(in);
        if (s < 0 || in.cut()) return false;
        if (s < 16) {
            l[k++] = static_cast<uint8_t>(s);
            continue;
        }
        uint8_t value = 0;
        size_t repeat = 0;
        if (s == 16) {
            if (k == 0) return false;
            value = l[k - 1];
            repeat = 3 + in.bits(2);
        } else if (s == 17) {
            repeat = 3 + in.bits(3);
        } else {
            repeat = 11 + in.bits(7);
        }
        if (in.cut() || k + repeat > total) return false;
        while (repeat--)
            l[k++] = value;
    }
    // A block must be able to end.
    if (l[256] == 0) return false;
    return lengths.build(l, nLengths) && distances.build(l + nLengths, nDistances);
}

uint16_t u16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

uint32_t u32(std::string_view b, size_t at) {
    return u16(b, at) | uint32_t{u16(b, at + 2)} << 16;
}

constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kDirectoryEntry = 0x02014b50;
constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr size_t kEndSize = 22, kEntrySize = 46, kLocalSize = 30;

std::string quoted(const std::string& name) {
    return "「" + name + "」";
}

} // namespace

uint32_t crc32Of(std::string_view bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool inflateRaw(std::string_view data, std::string& out, size_t maxBytes) {
    out.clear();
    BitReader in(data);
    for (;;) {
        const bool last = in.bits(1) != 0;
        const unsigned type = in.bits(2);
        if (in.cut()) return false;
        if (type == 0) {
            in.toByte();
            std::string header;
            if (!in.bytes(4, header)) return false;
            const uint16_t length = u16(header, 0);
            if (static_cast<uint16_t>(~u16(header, 2)) != length) return false;
            if (length > maxBytes - out.size() || !in.bytes(length, out)) return false;
        } else if (type == 1 || type == 2) {
            Huffman lengths, distances;
            const bool codes =
                type == 1 ? fixedCodes(lengths, distances) : dynamicCodes(in, lengths, distances);
            if (!codes || !inflateBlock(in, lengths, distances, out, maxBytes)) return false;
        } else {
            return false;
        }
        if (last) return true;
    }
}

bool readZip(std::string_view zip, std::vector<ZipFile>& files, std::string& error,
             const ZipLimits& limits) {
    files.clear();
    // The end record is the last 22 bytes, or stands before a comment of
    // up to 65535 bytes.
    size_t end = std::string_view::npos;
    if (zip.size() >= kEndSize) {
        const size_t lowest = zip.size() - kEndSize > 0xFFFF ? zip.size() - kEndSize - 0xFFFF : 0;
        for (size_t at = zip.size() - kEndSize + 1; at-- > lowest;)
            if (u32(zip, at) == kEndOfDirectory) {
                end = at;
                break;
            }
    }
    if (end == std::string_view::npos) {
        error = "zip ファイルとして読めません（終わりの目録がありません。ファイルが途中で切れて"
                "いるかもしれません）。";
        return false;
    }
    const uint16_t disk = u16(zip, end + 4), directoryDisk = u16(zip, end + 6);
    const uint16_t entries = u16(zip, end + 10);
    const uint32_t directorySize = u32(zip, end + 12), directoryAt = u32(zip, end + 16);
    if (disk != 0 || directoryDisk != 0 || u16(zip, end + 8) != entries) {
        error = "いくつにも分けた zip ファイルは読めません。一つの zip ファイルにします。";
        return false;
    }
    if (entries == 0xFFFF || directoryAt == 0xFFFFFFFFu || directorySize == 0xFFFFFFFFu) {
        error = "大きなファイル用の形（zip64）の zip ファイルは読めません。";
        return false;
    }
    if (directoryAt > end || directorySize > end - directoryAt) {
        error = "zip ファイルの目録が、ファイルの外を指しています（こわれています）。";
        return false;
    }
    if (entries > limits.maxFiles) {
        error = "zip ファイルにファイルが多すぎます（" + std::to_string(entries) + " 個）。";
        return false;
    }
    size_t at = directoryAt, total = 0;
    for (uint16_t k = 0; k < entries; ++k) {
        if (end - at < kEntrySize || u32(zip, at) != kDirectoryEntry) {
            error = "zip ファイルの目録がこわれています。";
            return false;
        }
        const uint16_t flags = u16(zip, at + 8), method = u16(zip, at + 10);
        const uint32_t crc = u32(zip, at + 16), packed = u32(zip, at + 20),
                       size = u32(zip, at + 24), localAt = u32(zip, at + 42);
        const size_t nameLength = u16(zip, at + 28), extra = u16(zip, at + 30),
                     comment = u16(zip, at + 32);
        if (end - at - kEntrySize < nameLength + extra + comment) {
            error = "zip ファイルの目録がこわれています。";
            return false;
        }
        const std::string name(zip.substr(at + kEntrySize, nameLength));
        at += kEntrySize + nameLength + extra + comment;
        if (!name.empty() && name.back() == '/') continue; // a folder
        if (flags & 1) {
            error = "zip の中の" + quoted(name) +
                    "は暗号化（パスワードつき）されているので読めません。パスワードなしで書き出し"
                    "ます。";
            return false;
        }
        if (method != 0 && method != 8) {
            error = "zip の中の" + quoted(name) + "は、読めない形で圧縮されています（方式 " +
                    std::to_string(method) + "）。ふつうの zip（deflate）にします。";
            return false;
        }
        if (size == 0xFFFFFFFFu || packed == 0xFFFFFFFFu || localAt == 0xFFFFFFFFu) {
            error = "大きなファイル用の形（zip64）の zip ファイルは読めません。";
            return false;
        }
        if (size > limits.maxFileBytes || size > limits.maxTotalBytes - total) {
            error = "zip の中の" + quoted(name) + "が大きすぎます（" + std::to_string(size) +
                    " バイト）。";
            return false;
        }
        if (localAt > zip.size() || zip.size() - localAt < kLocalSize ||
            u32(zip, localAt) != kLocalHeader) {
            error = "zip の中の" + quoted(name) + "の見出しが見つかりません（こわれています）。";
            return false;
        }
        const size_t dataAt =
            localAt + kLocalSize + u16(zip, localAt + 26) + u16(zip, localAt + 28);
        if (dataAt > zip.size() || zip.size() - dataAt < packed) {
            error = "zip の中の" + quoted(name) + "が途中で切れています。";
            return false;
        }
        const std::string_view data = zip.substr(dataAt, packed);
        ZipFile file{name, {}};
        if (method == 0) {
            if (packed != size) {
                error = "zip の中の" + quoted(name) + "の大きさが合いません（こわれています）。";
                return false;
            }
            file.bytes = std::string(data);
        } else if (!inflateRaw(data, file.bytes, size) || file.bytes.size() != size) {
            error = "zip の中の" + quoted(name) + "を展開できません（こわれています）。";
            return false;
        }
        if (crc32Of(file.bytes) != crc) {
            error = "zip の中の" + quoted(name) +
                    "の中身が、書いたときと合いません（CRC がちがい"
                    "ます。こわれています）。";
            return false;
        }
        total += file.bytes.size();
        files.push_back(std::move(file));
    }
    return true;
}

} // namespace kestrel
