#include "platform/Yescrypt.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ShaCrypt.h"

// The blocks are kept in the word order that crypt(3)'s yescrypt keeps them
// in (the "SIMD shuffled" order, whose 64-bit lanes pwxform reads), so that
// every S-box entry and every index comes out as there.
namespace kestrel {
namespace {

using u32 = uint32_t;
using u64 = uint64_t;

constexpr const char* kItoa64 = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The one flavour crypt(3) computes: read-write, 6 rounds of pwxform over
// 4 gathers of 2 simple lanes, 12 KiB of S-boxes.
constexpr u32 kRw = 0x002;
constexpr u32 kFlavour = kRw | 0x004 | 0x010 | 0x020 | 0x080;
constexpr u32 kPrehash = 0x10000000;

constexpr size_t kSblocks = 3 * 256 * 2 * 8 / 64; // the three S-boxes, in blocks
constexpr u64 kSmask = 255 * 2 * 8;               // a byte offset of one S-box's entry
constexpr u64 kSmask2 = (kSmask << 32) | kSmask;
// The largest memory a hash may ask for: crypt(3)'s highest cost (1 GiB). A
// shared configuration that asks for more is not computed.
constexpr u64 kMaxBytes = u64{1} << 30;

struct Block {
    std::array<u64, 8> d{};
    Block& operator^=(const Block& o) {
        for (int i = 0; i < 8; ++i)
            d[i] ^= o.d[i];
        return *this;
    }
};

u32 lo(u64 v) {
    return static_cast<u32>(v);
}
u32 hi(u64 v) {
    return static_cast<u32>(v >> 32);
}
u64 lanes(u32 low, u32 high) {
    return low | (u64{high} << 32);
}

// Natural word order to the kept order and back.
Block shuffle(const std::array<u32, 16>& w) {
    static constexpr int kIn[8][2] = {{0, 2}, {5, 7}, {2, 4}, {7, 1},
                                      {4, 6}, {1, 3}, {6, 0}, {3, 5}};
    Block b;
    for (int k = 0; k < 8; ++k)
        b.d[k] = lanes(w[kIn[k][0] * 2], w[kIn[k][1] * 2 + 1]);
    return b;
}
std::array<u32, 16> unshuffle(const Block& b) {
    static constexpr int kIn[8][2] = {{0, 6}, {5, 3}, {2, 0}, {7, 5},
                                      {4, 2}, {1, 7}, {6, 4}, {3, 1}};
    std::array<u32, 16> w{};
    for (int k = 0; k < 8; ++k) {
        w[k * 2] = lo(b.d[kIn[k][0]]);
        w[k * 2 + 1] = hi(b.d[kIn[k][1]]);
    }
    return w;
}

u32 rotl(u32 a, int b) {
    return (a << b) | (a >> (32 - b));
}

// The Salsa20 core with `doubleRounds`: `b` and `out` both get the result.
void salsa20(Block& b, Block& out, int doubleRounds) {
    std::array<u32, 16> x = unshuffle(b);
    for (int r = 0; r < doubleRounds; ++r) {
        static constexpr int kQuarter[8][4] = {{0, 4, 8, 12},  {5, 9, 13, 1},   {10, 14, 2, 6},
                                               {15, 3, 7, 11}, {0, 1, 2, 3},    {5, 6, 7, 4},
                                               {10, 11, 8, 9}, {15, 12, 13, 14}};
        for (const auto& q : kQuarter) {
            x[q[1]] ^= rotl(x[q[0]] + x[q[3]], 7);
            x[q[2]] ^= rotl(x[q[1]] + x[q[0]], 9);
            x[q[3]] ^= rotl(x[q[2]] + x[q[1]], 13);
            x[q[0]] ^= rotl(x[q[3]] + x[q[2]], 18);
        }
    }
    const Block t = shuffle(x);
    for (int k = 0; k < 8; ++k)
        b.d[k] = lanes(lo(t.d[k]) + lo(b.d[k]), hi(t.d[k]) + hi(b.d[k]));
    out = b;
}

u32 integerify(const Block* b, size_t r) {
    return lo(b[2 * r - 1].d[0]);
}

// pwxform's three S-boxes, each a third of the S-box blocks, and the
// write position in s2.
struct Pwx {
    Block* s0;
    Block* s1;
    Block* s2;
    size_t w; // a byte offset, a multiple of 256
};

// The two 64-bit words at a byte offset (a multiple of 16) of an S-box.
const u64* entry(const Block* box, u32 offset) {
    return &box[offset / 64].d[(offset % 64) / 8];
}

void pwxform(Block& x, Pwx& c) {
    Block* sw = c.s2 + c.w / 64;
    for (int round = 0; round < 6; ++round) {
        for (int j = 0; j < 8; j += 2) {
            const u64 m = x.d[j] & kSmask2;
            const u64* p0 = entry(c.s0, lo(m));
            const u64* p1 = entry(c.s1, hi(m));
            x.d[j] = (u64{hi(x.d[j])} * lo(x.d[j]) + p0[0]) ^ p1[0];
            x.d[j + 1] = (u64{hi(x.d[j + 1])} * lo(x.d[j + 1]) + p0[1]) ^ p1[1];
        }
        if (round >= 1 && round <= 4) *sw++ = x;
    }
    c.w = (c.w + 64 * 4) & kSmask2;
    Block* s2 = c.s2;
    c.s2 = c.s1;
    c.s1 = c.s0;
    c.s0 = s2;
}

void blockmixSalsa8(const Block* in, Block* out, size_t r) {
    Block x = in[2 * r - 1];
    for (size_t i = 0; i < r; ++i) {
        x ^= in[2 * i];
        salsa20(x, out[i], 4);
        x ^= in[2 * i + 1];
        salsa20(x, out[r + i], 4);
    }
}

u32 blockmixSalsa8Xor(const Block* in1, const Block* in2, Block* out, size_t r) {
    Block x = in1[2 * r - 1];
    x ^= in2[2 * r - 1];
    for (size_t i = 0; i < r; ++i) {
        x ^= in1[2 * i];
        x ^= in2[2 * i];
        salsa20(x, out[i], 4);
        x ^= in1[2 * i + 1];
        x ^= in2[2 * i + 1];
        salsa20(x, out[r + i], 4);
    }
    return lo(x.d[0]);
}

void blockmix(const Block* in, Block* out, size_t r, Pwx& c) {
    const size_t last = 2 * r - 1;
    Block x = in[last];
    for (size_t i = 0;; ++i) {
        x ^= in[i];
        pwxform(x, c);
        if (i == last) break;
        out[i] = x;
    }
    salsa20(x, out[last], 1);
}

// `out` may be `in1`: each block is read before it is written.
u32 blockmixXor(const Block* in1, const Block* in2, Block* out, size_t r, Pwx& c) {
    const size_t last = 2 * r - 1;
    Block x = in1[last];
    x ^= in2[last];
    for (size_t i = 0;; ++i) {
        x ^= in1[i];
        x ^= in2[i];
        pwxform(x, c);
        if (i == last) break;
        out[i] = x;
    }
    salsa20(x, out[last], 1);
    return lo(x.d[0]);
}

// As blockmixXor into `inOut`, writing in1 ^ in2 back into `in2`.
u32 blockmixXorSave(Block* inOut, Block* in2, size_t r, Pwx& c) {
    const size_t last = 2 * r - 1;
    Block x = inOut[last];
    x ^= in2[last];
    for (size_t i = 0;; ++i) {
        Block y = in2[i];
        y ^= inOut[i];
        in2[i] = y;
        x ^= y;
        pwxform(x, c);
        if (i == last) break;
        inOut[i] = x;
    }
    salsa20(x, inOut[last], 1);
    return lo(x.d[0]);
}

void readBlocks(const uint8_t* bytes, Block* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        std::array<u32, 16> w{};
        for (int k = 0; k < 16; ++k) {
            const uint8_t* p = bytes + i * 64 + k * 4;
            w[k] = p[0] | (u32{p[1]} << 8) | (u32{p[2]} << 16) | (u32{p[3]} << 24);
        }
        out[i] = shuffle(w);
    }
}

void writeBlocks(const Block* in, uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const std::array<u32, 16> w = unshuffle(in[i]);
        for (int k = 0; k < 16; ++k)
            for (int b = 0; b < 4; ++b)
                bytes[i * 64 + k * 4 + b] = static_cast<uint8_t>(w[k] >> (8 * b));
    }
}

void smix1(uint8_t* b, size_t r, u32 n, bool rw, Block* v, Block* xy, Pwx* c) {
    const size_t s = 2 * r;
    Block* x = v;
    Block* y = v + s;
    readBlocks(b, x, s);
    if (rw) {
        blockmix(x, y, r, *c);
        x = y + s;
        blockmix(y, x, r, *c);
        u32 j = integerify(x, r);
        u32 m = 2;
        for (m = 2; m < n; m <<= 1) {
            const u32 count = m < n / 2 ? m : n - 1 - m;
            for (u32 i = 1; i < count; i += 2) {
                y = x + s;
                j &= m - 1;
                j += i - 1;
                j = blockmixXor(x, &v[j * s], y, r, *c);
                j &= m - 1;
                j += i;
                x = y + s;
                j = blockmixXor(y, &v[j * s], x, r, *c);
            }
        }
        m >>= 1;
        j &= m - 1;
        j += n - 2 - m;
        y = x + s;
        j = blockmixXor(x, &v[j * s], y, r, *c);
        j &= m - 1;
        j += n - 1 - m;
        blockmixXor(y, &v[j * s], xy, r, *c);
    } else {
        for (u32 left = n - 2; left > 0; left -= 2) {
            blockmixSalsa8(x, y, r);
            x = y + s;
            blockmixSalsa8(y, x, r);
            y = x + s;
        }
        blockmixSalsa8(x, y, r);
        blockmixSalsa8(y, xy, r);
    }
    writeBlocks(xy, b, s);
}

void smix2(uint8_t* b, size_t r, u32 n, u64 loops, bool rw, Block* v, Block* xy, Pwx& c) {
    if (loops == 0) return;
    const size_t s = 2 * r;
    Block* x = xy;
    readBlocks(b, x, s);
    u32 j = integerify(x, r) & (n - 1);
    for (; loops > 0; loops -= 2) {
        if (rw) {
            j = blockmixXorSave(x, &v[j * s], r, c) & (n - 1);
            j = blockmixXorSave(x, &v[j * s], r, c) & (n - 1);
        } else {
            j = blockmixXor(x, &v[j * s], x, r, c) & (n - 1);
            j = blockmixXor(x, &v[j * s], x, r, c) & (n - 1);
        }
    }
    writeBlocks(x, b, s);
}

u64 powerOfTwoFloor(u64 x) {
    for (u64 y; (y = x & (x - 1)) != 0;)
        x = y;
    return x;
}

std::string hmacSha256(std::string_view key, std::string_view message) {
    std::string k = key.size() > 64 ? sha256(key) : std::string(key);
    k.resize(64, '\0');
    std::string inner(k), outer(k);
    for (size_t i = 0; i < 64; ++i) {
        inner[i] = static_cast<char>(inner[i] ^ 0x36);
        outer[i] = static_cast<char>(outer[i] ^ 0x5c);
    }
    return sha256(outer + sha256(inner.append(message)));
}

// PBKDF2-HMAC-SHA256 with one iteration.
std::string pbkdf2Sha256(std::string_view password, std::string_view salt, size_t length) {
    std::string out;
    for (u32 i = 1; out.size() < length; ++i) {
        std::string block(salt);
        for (int shift = 24; shift >= 0; shift -= 8)
            block += static_cast<char>(static_cast<uint8_t>(i >> shift));
        out += hmacSha256(password, block);
    }
    out.resize(length);
    return out;
}

std::string_view bytesOf(const std::vector<uint8_t>& v) {
    return {reinterpret_cast<const char*>(v.data()), v.size()};
}

struct Params {
    u32 flags = 0;
    u64 n = 0;
    u32 r = 0, p = 1, t = 0;
};

// The key derivation, 32 bytes; nothing for parameters crypt(3) refuses.
std::optional<std::string> kdfBody(std::string_view password, std::string_view salt,
                                   const Params& q) {
    const size_t r = q.r, p = q.p;
    const u32 n = static_cast<u32>(q.n);
    const size_t s = 2 * r;
    std::string prehashed =
        hmacSha256(std::string_view("yescrypt-prehash", (q.flags & kPrehash) ? 16 : 8), password);
    std::vector<uint8_t> b(128 * r * p);
    {
        const std::string first = pbkdf2Sha256(prehashed, salt, b.size());
        std::copy(first.begin(), first.end(), b.begin());
    }
    // The password for the last step, changed on the way by the S-boxes.
    std::string key(bytesOf(b).substr(0, 32));

    std::vector<Block> v(static_cast<size_t>(n) * s), xy(2 * s);
    std::vector<Block> sboxes(kSblocks * p);
    std::vector<Pwx> contexts(p);

    // How many times the second half runs, as crypt(3) counts it.
    u32 chunk = n / static_cast<u32>(p);
    u64 loopsAll = chunk;
    if (q.t <= 1) {
        if (q.t) loopsAll *= 2;
        loopsAll = (loopsAll + 2) / 3;
    } else {
        loopsAll *= q.t - 1;
    }
    u64 loopsRw = loopsAll / p;
    chunk &= ~u32{1};
    loopsAll = (loopsAll + 1) & ~u64{1};
    loopsRw = (loopsRw + 1) & ~u64{1};

    for (size_t i = 0; i < p; ++i) {
        const u32 vChunk = static_cast<u32>(i) * chunk;
        const u32 np = i < p - 1 ? chunk : n - vChunk;
        uint8_t* bp = &b[128 * r * i];
        Block* si = &sboxes[kSblocks * i];
        smix1(bp, 1, static_cast<u32>(kSblocks / 2), false, si, xy.data(), nullptr);
        contexts[i] = Pwx{si + 2 * kSblocks / 3, si + kSblocks / 3, si, 0};
        if (i == 0)
            key = hmacSha256(std::string_view(reinterpret_cast<const char*>(bp + 128 * r - 64), 64),
                             key);
        smix1(bp, r, np, true, &v[vChunk * s], xy.data(), &contexts[i]);
        smix2(bp, r, static_cast<u32>(powerOfTwoFloor(np)), loopsRw, true, &v[vChunk * s],
              xy.data(), contexts[i]);
    }
    if (loopsAll > loopsRw)
        for (size_t i = 0; i < p; ++i)
            smix2(&b[128 * r * i], r, n, loopsAll - loopsRw, false, v.data(), xy.data(),
                  contexts[i]);

    std::string out = pbkdf2Sha256(key, bytesOf(b), 32);
    if (!(q.flags & kPrehash)) out = sha256(hmacSha256(out, "Client Key"));
    return out;
}

// Classic scrypt (crypt(3)'s "$7$"): Salsa20/8 throughout, no S-boxes, the
// lanes one after the other.
std::string scryptBody(std::string_view password, std::string_view salt, u32 n, size_t r,
                       size_t p) {
    const size_t s = 2 * r;
    std::vector<uint8_t> b(128 * r * p);
    const std::string first = pbkdf2Sha256(password, salt, b.size());
    std::copy(first.begin(), first.end(), b.begin());
    std::vector<Block> v(static_cast<size_t>(n) * s), xy(2 * s);
    for (size_t i = 0; i < p; ++i) {
        uint8_t* bp = &b[128 * r * i];
        smix1(bp, r, n, false, v.data(), xy.data(), nullptr);
        Block* x = xy.data();
        Block* y = x + s;
        readBlocks(bp, x, s);
        u32 j = integerify(x, r) & (n - 1);
        for (u32 loops = n; loops > 0; loops -= 2) {
            j = blockmixSalsa8Xor(x, &v[j * s], y, r) & (n - 1);
            j = blockmixSalsa8Xor(y, &v[j * s], x, r) & (n - 1);
        }
        writeBlocks(x, bp, s);
    }
    return pbkdf2Sha256(password, bytesOf(b), 32);
}

u32 atoi64(char c) {
    const char* at = std::find(kItoa64, kItoa64 + 64, c);
    return c != '\0' && at != kItoa64 + 64 ? static_cast<u32>(at - kItoa64) : 64;
}

// One of the setting's variable-length numbers.
bool decodeNumber(std::string_view& in, u32 min, u32& out) {
    if (in.empty()) return false;
    u32 c = atoi64(in[0]);
    in.remove_prefix(1);
    if (c > 63) return false;
    u32 start = 0, end = 47, chars = 1, bits = 0;
    u64 value = min;
    while (c > end) {
        value += u64{end + 1 - start} << bits;
        start = end + 1;
        end = start + (62 - end) / 2;
        ++chars;
        bits += 6;
    }
    value += u64{c - start} << bits;
    while (--chars) {
        if (in.empty()) return false;
        c = atoi64(in[0]);
        in.remove_prefix(1);
        if (c > 63) return false;
        bits -= 6;
        value += u64{c} << bits;
    }
    if (value > UINT32_MAX) return false;
    out = static_cast<u32>(value);
    return true;
}

// The salt's characters to bytes, little-endian six bits at a time.
bool decodeSalt(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); i += 4) {
        u32 value = 0, bits = 0;
        for (size_t k = i; k < std::min(i + 4, text.size()); ++k) {
            const u32 c = atoi64(text[k]);
            if (c > 63) return false;
            value |= c << bits;
            bits += 6;
        }
        if (bits < 12) return false;
        for (; bits >= 8; bits -= 8, value >>= 8)
            out += static_cast<char>(value & 0xff);
        if (value != 0) return false;
    }
    return out.size() <= 64;
}

std::string encodeHash(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        u32 value = 0, bits = 0;
        for (size_t k = i; k < std::min(i + 3, bytes.size()); ++k, bits += 8)
            value |= u32{static_cast<uint8_t>(bytes[k])} << bits;
        for (u32 done = 0; done < bits; done += 6, value >>= 6)
            out += kItoa64[value & 0x3f];
    }
    return out;
}

// A 30-bit number of the "$7$" setting: five characters, low bits first.
bool decodeFixed30(std::string_view text, u32& out) {
    out = 0;
    for (size_t i = 0; i < 5; ++i) {
        const u32 c = atoi64(text[i]);
        if (c > 63) return false;
        out |= c << (6 * i);
    }
    return true;
}

std::string scrypt(std::string_view key, std::string_view setting) {
    std::string_view rest = setting.substr(3);
    u32 r = 0, p = 0;
    if (rest.size() < 11) return {};
    const u32 nLog2 = atoi64(rest[0]);
    if (nLog2 < 2 || nLog2 > 31 || !decodeFixed30(rest.substr(1), r) ||
        !decodeFixed30(rest.substr(6), p) || r < 1 || p < 1)
        return {};
    rest.remove_prefix(11);
    const u64 n = u64{1} << nLog2;
    if (u64{r} * p >= (u64{1} << 30) || r > kMaxBytes / 128 || u64{128} * r * n > kMaxBytes ||
        u64{128} * r * p > kMaxBytes)
        return {};
    const std::string_view salt = rest.substr(0, rest.rfind('$'));
    const size_t prefix = setting.size() - rest.size();
    return std::string(setting.substr(0, prefix)) + std::string(salt) + "$" +
           encodeHash(scryptBody(key, salt, static_cast<u32>(n), r, p));
}

} // namespace

std::string yescryptSetting(std::string_view randomBytes) {
    return "$y$j9T$" + encodeHash(randomBytes);
}

std::string yescrypt(std::string_view key, std::string_view setting) {
    if (setting.starts_with("$7$")) return scrypt(key, setting);
    if (!setting.starts_with("$y$")) return {};
    std::string_view rest = setting.substr(3);
    Params q;
    u32 flavour = 0, nLog2 = 0;
    if (!decodeNumber(rest, 0, flavour) || flavour < kRw || flavour > kRw + (0x3fc >> 2)) return {};
    q.flags = kRw + ((flavour - kRw) << 2);
    if (q.flags != kFlavour) return {};
    if (!decodeNumber(rest, 1, nLog2) || nLog2 > 63 || !decodeNumber(rest, 1, q.r)) return {};
    q.n = u64{1} << nLog2;
    if (!rest.empty() && rest[0] != '$') {
        u32 have = 0;
        if (!decodeNumber(rest, 1, have)) return {};
        if ((have & 1) && !decodeNumber(rest, 2, q.p)) return {};
        if ((have & 2) && !decodeNumber(rest, 1, q.t)) return {};
        // Hash upgrades and a shared ROM: crypt(3) computes neither.
        if (have & (4 | 8)) return {};
    }
    if (rest.empty() || rest[0] != '$') return {};
    rest.remove_prefix(1);
    const size_t prefix = setting.size() - rest.size();
    const std::string_view saltText = rest.substr(0, rest.rfind('$'));
    std::string salt;
    if (!decodeSalt(saltText, salt)) return {};

    if (q.n > UINT32_MAX || q.n <= 3 || u64{q.r} * q.p >= (u64{1} << 30) || q.n / q.p <= 3 ||
        q.r > kMaxBytes / 128 || u64{128} * q.r * q.n > kMaxBytes ||
        u64{128} * q.r * q.p > kMaxBytes)
        return {};

    std::string password(key);
    // Large settings hash the password with a 64th of the memory first.
    if (q.n / q.p >= 0x100 && q.n / q.p * q.r >= 0x20000) {
        Params pre = q;
        pre.flags |= kPrehash;
        pre.n = q.n >> 6;
        pre.t = 0;
        const std::optional<std::string> first = kdfBody(password, salt, pre);
        if (!first) return {};
        password = *first;
    }
    const std::optional<std::string> hash = kdfBody(password, salt, q);
    if (!hash) return {};
    return std::string(setting.substr(0, prefix)) + std::string(saltText) + "$" + encodeHash(*hash);
}

} // namespace kestrel
