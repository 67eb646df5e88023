#include "drill/Mistakes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

#include "drill/RunRules.h"

namespace kestrel {

namespace {

constexpr std::array<std::string_view, kMistakeCount> kNames{
    "正解",
    "位のまちがい",
    "切り捨て",
    "切り上げ",
    "くり上がりわすれ",
    "下の位を消した",
    "下の位を0にしていない",
    "上から何けたと位のとりちがえ",
    "問題の数のまま",
    "数字の打ちまちがい",
    "答えなし",
    "その他",
};

// A longer number no longer fits in 64 bits; no rounding gives one anyway.
constexpr size_t kMaxValueDigits = 18;

int64_t powerOfTen(int exponent) {
    int64_t p = 1;
    for (int i = 0; i < exponent; ++i)
        p *= 10;
    return p;
}

int digitAt(int64_t n, int place) {
    return static_cast<int>(n / powerOfTen(place - 1) % 10);
}

int digitCount(int64_t n) {
    int count = 1;
    for (; n >= 10; n /= 10)
        ++count;
    return count;
}

int64_t cutAt(int64_t n, int place) {
    const int64_t unit = powerOfTen(place);
    return n / unit * unit;
}

int64_t roundAt(int64_t n, int place) {
    const int64_t unit = powerOfTen(place);
    return (n + unit / 2) / unit * unit;
}

int64_t upAt(int64_t n, int place) {
    const int64_t unit = powerOfTen(place);
    return (n + unit - 1) / unit * unit;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An entry that is a whole number: "+" allowed in front, and a decimal
// point followed by 0s behind, as the judge reads both.
struct WholeNumber {
    std::string_view typed;       // the digits before any point, leading zeros kept
    std::string_view significant; // the same without leading zeros ("0" for zero)
    std::optional<int64_t> value; // none when too long to hold
};

std::optional<WholeNumber> wholeNumber(std::string_view entry) {
    size_t i = 0;
    if (i < entry.size() && entry[i] == '+') ++i;
    const size_t first = i;
    while (i < entry.size() && isDigit(entry[i]))
        ++i;
    if (i == first) return std::nullopt;
    WholeNumber w;
    w.typed = entry.substr(first, i - first);
    if (i < entry.size() && entry[i] == '.') {
        ++i;
        while (i < entry.size() && entry[i] == '0')
            ++i;
    }
    if (i != entry.size()) return std::nullopt;
    const size_t nonZero = w.typed.find_first_not_of('0');
    w.significant = nonZero == std::string_view::npos ? w.typed.substr(w.typed.size() - 1)
                                                      : w.typed.substr(nonZero);
    if (w.significant.size() <= kMaxValueDigits) {
        int64_t v = 0;
        std::from_chars(w.significant.data(), w.significant.data() + w.significant.size(), v);
        w.value = v;
    }
    return w;
}

// The answer as a whole number, if it is one that a number can be compared
// with digit by digit.
std::optional<int64_t> wholeAnswer(double answer) {
    if (!(answer >= 0 && answer < 1e15) || answer != std::floor(answer)) return std::nullopt;
    return static_cast<int64_t>(answer);
}

// The carry stopped at one of the 9s it has to run through: dropped there,
// or its 10 written into that place.
bool lostCarry(int64_t n, int k, int64_t v) {
    if (digitAt(n, k) < 5) return false;
    for (int j = k + 1; digitAt(n, j) == 9; ++j) {
        if (v == cutAt(n, j)) return true;
        if (v == n / powerOfTen(j) * powerOfTen(j + 1) + powerOfTen(j)) return true;
    }
    return false;
}

bool droppedZeros(int64_t answer, int64_t v) {
    if (v < 1 || answer < 1) return false;
    for (int64_t a = answer; a % 10 == 0;) {
        a /= 10;
        if (v == a) return true;
    }
    return false;
}

bool keptLowerDigits(int64_t n, int k, int64_t answer, int64_t v) {
    const int64_t unit = powerOfTen(k);
    if (v == n || v == answer || v / unit != answer / unit) return false;
    for (int j = 1; j <= k; ++j) {
        const int d = digitAt(v, j);
        if (d != 0 && d != digitAt(n, j)) return false;
    }
    return true;
}

// "上からN桁" read as the place N, or a named place P read as P leading digits.
bool countPlaceMixup(int problemType, int64_t n, int k, int64_t v) {
    const int digits = digitCount(n);
    const int place = problemType == 4 ? 4 - k : problemType == 3 ? digits - (k + 1) : digits - k;
    return v != n && place >= 1 && place <= digits && v == roundAt(n, place);
}

// The kinds that read the entry as a rounding of the number gone wrong.
std::optional<Mistake> roundingMistake(const Problem& p, int64_t answer, int64_t v) {
    const int64_t n = p.number;
    const int k = p.RoundPlace;
    const int digits = digitCount(n);
    if (v != n) {
        for (int j : {k - 1, k + 1})
            if (j >= 1 && j <= digits && v == roundAt(n, j)) return Mistake::WrongPlace;
    }
    if (const int64_t cut = cutAt(n, k); v == cut && cut != answer) return Mistake::CutOff;
    if (const int64_t up = upAt(n, k); v == up && up != answer) return Mistake::RoundedUp;
    if (lostCarry(n, k, v)) return Mistake::LostCarry;
    if (droppedZeros(answer, v)) return Mistake::DroppedLowerDigits;
    if (keptLowerDigits(n, k, answer, v)) return Mistake::LowerDigitsKept;
    if (countPlaceMixup(p.ProblemType, n, k, v)) return Mistake::CountPlaceMixup;
    return std::nullopt;
}

bool oneDigitOff(std::string_view typed, std::string_view answer) {
    if (typed.size() != answer.size()) return false;
    int differing = 0;
    for (size_t i = 0; i < typed.size(); ++i)
        differing += typed[i] != answer[i];
    return differing == 1;
}

} // namespace

std::string_view mistakeName(Mistake mistake) {
    const auto index = static_cast<size_t>(mistake);
    return index < kNames.size() ? kNames[index] : std::string_view();
}

Mistake classifyMistake(const Problem& problem, std::string_view entry) {
    if (RunRules::isRightAnswer(entry, problem.CorrectAnswer)) return Mistake::Right;
    const std::optional<WholeNumber> w = wholeNumber(entry);
    if (!w) return entry.empty() ? Mistake::NoAnswer : Mistake::Other;
    const std::optional<int64_t> answer = wholeAnswer(problem.CorrectAnswer);
    const bool drawable = problem.ProblemType >= 1 && problem.ProblemType <= 4 &&
                          problem.RoundPlace >= 1 && problem.RoundPlace <= 9 && problem.number >= 1;
    if (w->value && answer && drawable) {
        if (const auto kind = roundingMistake(problem, *answer, *w->value)) return *kind;
    }
    if (w->value == problem.number) return Mistake::ProblemNumber;
    if (answer) {
        std::array<char, 24> buffer{};
        const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), *answer).ptr;
        const std::string_view digits(buffer.data(), static_cast<size_t>(end - buffer.data()));
        if (oneDigitOff(w->typed, digits) || oneDigitOff(w->significant, digits))
            return Mistake::MistypedDigit;
    }
    return Mistake::Other;
}

} // namespace kestrel
