#include "platform/ShaCrypt.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrel {
namespace {

template <typename T> T rotr(T x, int n) {
    return static_cast<T>((x >> n) | (x << (sizeof(T) * 8 - n)));
}

constexpr std::array<uint32_t, 64> kK256 = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
constexpr std::array<uint64_t, 80> kK512 = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL};

// SHA-256 (word uint32_t, 64 rounds) and SHA-512 (uint64_t, 80 rounds).
template <typename Word, int Rounds> class Sha {
public:
    static constexpr size_t kBlock = sizeof(Word) * 16;
    static constexpr size_t kDigest = sizeof(Word) * 8;

    explicit Sha(const std::array<Word, 8>& start) : m_h(start) {}

    void add(const void* data, size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        m_length += size;
        while (size > 0) {
            const size_t n = std::min(size, kBlock - m_used);
            std::memcpy(m_block.data() + m_used, p, n);
            m_used += n, p += n, size -= n;
            if (m_used == kBlock) {
                compress();
                m_used = 0;
            }
        }
    }
    void add(std::string_view s) { add(s.data(), s.size()); }

    std::string finish() {
        const uint64_t bits = m_length * 8;
        const unsigned char one = 0x80, zero = 0;
        add(&one, 1);
        while (m_used != kBlock - 2 * sizeof(Word))
            add(&zero, 1);
        // The length in bits, big-endian, in the last 8 (or 16) bytes.
        for (size_t i = 0; i < 2 * sizeof(Word); ++i) {
            const size_t shift = (2 * sizeof(Word) - 1 - i) * 8;
            const unsigned char b = shift < 64 ? static_cast<unsigned char>(bits >> shift) : 0;
            add(&b, 1);
        }
        std::string out;
        for (Word w : m_h)
            for (int i = sizeof(Word) - 1; i >= 0; --i)
                out += static_cast<char>(static_cast<unsigned char>(w >> (i * 8)));
        return out;
    }

private:
    void compress() {
        std::array<Word, Rounds> w{};
        for (int i = 0; i < 16; ++i) {
            Word v = 0;
            for (size_t j = 0; j < sizeof(Word); ++j)
                v = static_cast<Word>((v << 8) | m_block[i * sizeof(Word) + j]);
            w[i] = v;
        }
        constexpr bool wide = sizeof(Word) == 8;
        for (int i = 16; i < Rounds; ++i) {
            const Word a = w[i - 15], b = w[i - 2];
            const Word s0 =
                wide ? rotr(a, 1) ^ rotr(a, 8) ^ (a >> 7) : rotr(a, 7) ^ rotr(a, 18) ^ (a >> 3);
            const Word s1 =
                wide ? rotr(b, 19) ^ rotr(b, 61) ^ (b >> 6) : rotr(b, 17) ^ rotr(b, 19) ^ (b >> 10);
            w[i] = static_cast<Word>(w[i - 16] + s0 + w[i - 7] + s1);
        }
        std::array<Word, 8> v = m_h;
        for (int i = 0; i < Rounds; ++i) {
            const Word e = v[4], a = v[0];
            const Word s1 = wide ? rotr(e, 14) ^ rotr(e, 18) ^ rotr(e, 41)
                                 : rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
            const Word ch = (e & v[5]) ^ (~e & v[6]);
            const Word k = wide ? static_cast<Word>(kK512[i]) : static_cast<Word>(kK256[i % 64]);
            const Word t1 = static_cast<Word>(v[7] + s1 + ch + k + w[i]);
            const Word s0 = wide ? rotr(a, 28) ^ rotr(a, 34) ^ rotr(a, 39)
                                 : rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
            const Word maj = (a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]);
            const Word t2 = static_cast<Word>(s0 + maj);
            v = {static_cast<Word>(t1 + t2),   v[0], v[1], v[2],
                 static_cast<Word>(v[3] + t1), v[4], v[5], v[6]};
        }
        for (int i = 0; i < 8; ++i)
            m_h[i] = static_cast<Word>(m_h[i] + v[i]);
    }

    std::array<Word, 8> m_h;
    std::array<unsigned char, kBlock> m_block{};
    size_t m_used = 0;
    uint64_t m_length = 0;
};

using Sha256 = Sha<uint32_t, 64>;
using Sha512 = Sha<uint64_t, 80>;
constexpr std::array<uint32_t, 8> kStart256 = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr std::array<uint64_t, 8> kStart512 = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};

constexpr const char* kBase64 = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr size_t kMaxSalt = 16;
constexpr unsigned long kDefaultRounds = 5000, kMinRounds = 1000, kMaxRounds = 999999999;

void base64(std::string& out, unsigned b2, unsigned b1, unsigned b0, int n) {
    unsigned w = (b2 << 16) | (b1 << 8) | b0;
    while (n-- > 0) {
        out += kBase64[w & 0x3f];
        w >>= 6;
    }
}

template <typename H, typename Start>
std::string shaCryptWith(const Start& start, std::string_view key, std::string_view salt,
                         unsigned long rounds) {
    constexpr size_t L = H::kDigest;
    const auto fresh = [&] { return H(start); };
    H b = fresh();
    b.add(key), b.add(salt), b.add(key);
    const std::string bDigest = b.finish();
    H a = fresh();
    a.add(key), a.add(salt);
    size_t n = key.size();
    for (; n > L; n -= L)
        a.add(bDigest);
    a.add(bDigest.data(), n);
    for (n = key.size(); n > 0; n >>= 1)
        (n & 1) ? a.add(bDigest) : a.add(key);
    std::string digest = a.finish();

    H dp = fresh();
    for (size_t i = 0; i < key.size(); ++i)
        dp.add(key);
    const std::string dpDigest = dp.finish();
    std::string p;
    for (n = key.size(); n >= L; n -= L)
        p += dpDigest;
    p += dpDigest.substr(0, n);

    H ds = fresh();
    for (size_t i = 0; i < 16u + static_cast<unsigned char>(digest[0]); ++i)
        ds.add(salt);
    const std::string s = ds.finish().substr(0, salt.size());

    for (unsigned long r = 0; r < rounds; ++r) {
        H c = fresh();
        (r & 1) ? c.add(p) : c.add(digest);
        if (r % 3) c.add(s);
        if (r % 7) c.add(p);
        (r & 1) ? c.add(digest) : c.add(p);
        digest = c.finish();
    }
    return digest;
}

} // namespace

std::string sha256(std::string_view data) {
    Sha256 h(kStart256);
    h.add(data);
    return h.finish();
}

std::string shaCrypt(std::string_view key, std::string_view setting) {
    const bool sha512 = setting.starts_with("$6$");
    if (!sha512 && !setting.starts_with("$5$")) return {};
    std::string_view rest = setting.substr(3);
    unsigned long rounds = kDefaultRounds;
    bool roundsGiven = false;
    if (rest.starts_with("rounds=")) {
        rest.remove_prefix(7);
        size_t digits = 0;
        unsigned long long value = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && digits < 12)
            value = value * 10 + static_cast<unsigned>(rest[digits++] - '0');
        if (digits == 0 || digits >= rest.size() || rest[digits] != '$') return {};
        rest.remove_prefix(digits + 1);
        rounds = static_cast<unsigned long>(
            std::clamp<unsigned long long>(value, kMinRounds, kMaxRounds));
        roundsGiven = true;
    }
    const std::string_view salt = rest.substr(0, std::min(rest.find('$'), kMaxSalt));
    const std::string d = sha512 ? shaCryptWith<Sha512>(kStart512, key, salt, rounds)
                                 : shaCryptWith<Sha256>(kStart256, key, salt, rounds);
    const auto u = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(d[i])); };
    std::string out = sha512 ? "$6$" : "$5$";
    if (roundsGiven) out += "rounds=" + std::to_string(rounds) + "$";
    out.append(salt);
    out += '$';
    // The digest's bytes in the order crypt(3) writes them, three at a time.
    static constexpr int k256[10][3] = {{0, 10, 20}, {21, 1, 11}, {12, 22, 2}, {3, 13, 23},
                                        {24, 4, 14}, {15, 25, 5}, {6, 16, 26}, {27, 7, 17},
                                        {18, 28, 8}, {9, 19, 29}};
    static constexpr int k512[21][3] = {
        {0, 21, 42},  {22, 43, 1},  {44, 2, 23},  {3, 24, 45},  {25, 46, 4},  {47, 5, 26},
        {6, 27, 48},  {28, 49, 7},  {50, 8, 29},  {9, 30, 51},  {31, 52, 10}, {53, 11, 32},
        {12, 33, 54}, {34, 55, 13}, {56, 14, 35}, {15, 36, 57}, {37, 58, 16}, {59, 17, 38},
        {18, 39, 60}, {40, 61, 19}, {62, 20, 41}};
    if (sha512) {
        for (const auto& t : k512)
            base64(out, u(t[0]), u(t[1]), u(t[2]), 4);
        base64(out, 0, 0, u(63), 2);
    } else {
        for (const auto& t : k256)
            base64(out, u(t[0]), u(t[1]), u(t[2]), 4);
        base64(out, 0, u(31), u(30), 3);
    }
    return out;
}

} // namespace kestrel
