#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "drill/Mistakes.h"
#include "drill/Problem.h"

namespace kestrel {
// Failures name the kinds.
void PrintTo(Mistake m, std::ostream* os) {
    *os << mistakeName(m);
}
} // namespace kestrel

using namespace kestrel;

namespace {

using M = Mistake;

std::string nameOf(Mistake m) {
    return std::string(mistakeName(m));
}

// ---- The oracle: each kind's typical answers, worked on the written digits
// the way a child works them by hand.

// The digit of place j (1 = ones) of a written number; '0' above it.
char placeDigit(const std::string& s, int place) {
    const int index = static_cast<int>(s.size()) - place;
    return index >= 0 && place >= 1 ? s[static_cast<size_t>(index)] : '0';
}

std::string withoutLeadingZeros(const std::string& s) {
    const size_t first = s.find_first_not_of('0');
    return first == std::string::npos ? "0" : s.substr(first);
}

std::string zerosUpTo(std::string s, int place) {
    for (int j = 1; j <= place && j <= static_cast<int>(s.size()); ++j)
        s[s.size() - static_cast<size_t>(j)] = '0';
    return s;
}

// Adds 1 at `place`, turning each 9 met into 0 and carrying on.
std::string carryInto(std::string s, int place) {
    s = std::string(static_cast<size_t>(std::max(1, place + 1 - static_cast<int>(s.size()))), '0') +
        s;
    size_t i = s.size() - static_cast<size_t>(place);
    while (s[i] == '9')
        s[i--] = '0';
    ++s[i];
    return withoutLeadingZeros(s);
}

std::string roundAt(const std::string& s, int place) {
    if (place == 0) return s;
    const std::string cut = zerosUpTo(s, place);
    return placeDigit(s, place) >= '5' ? carryInto(cut, place + 1) : withoutLeadingZeros(cut);
}

using Answers = std::array<std::vector<std::string>, kMistakeCount>;

Answers typicalAnswers(const Problem& p) {
    const std::string s = std::to_string(p.number);
    const int digits = static_cast<int>(s.size());
    const int k = p.RoundPlace;
    const std::string answer = roundAt(s, k);
    Answers a;
    auto add = [&](Mistake m, const std::string& entry) {
        a[static_cast<size_t>(m)].push_back(entry);
    };
    add(M::Right, answer);
    for (int j : {k - 1, k + 1})
        if (j >= 1 && j <= digits && roundAt(s, j) != s) add(M::WrongPlace, roundAt(s, j));

    const std::string cut = withoutLeadingZeros(zerosUpTo(s, k));
    if (cut != answer) add(M::CutOff, cut);
    const std::string up = cut == s ? s : carryInto(cut, k + 1);
    if (up != answer) add(M::RoundedUp, up);

    if (placeDigit(s, k) >= '5') {
        for (int j = k + 1; placeDigit(s, j) == '9'; ++j) {
            add(M::LostCarry, withoutLeadingZeros(zerosUpTo(s, j)));
            add(M::LostCarry,
                withoutLeadingZeros(s.substr(0, s.size() - static_cast<size_t>(j)) + "10" +
                                    std::string(static_cast<size_t>(j - 1), '0')));
        }
    }

    for (std::string t = answer; t.size() > 1 && t.back() == '0';) {
        t.pop_back();
        add(M::DroppedLowerDigits, t);
    }

    // Above place k the answer's digits; each place up to k the number's
    // digit or 0, at least one of them the number's.
    const std::string padded = std::string(static_cast<size_t>(k), '0') + answer;
    const std::string upper = padded.substr(0, padded.size() - static_cast<size_t>(k));
    for (int mask = 1; mask < (1 << k); ++mask) {
        std::string lower;
        for (int j = k; j >= 1; --j)
            lower += (mask >> (j - 1)) & 1 ? placeDigit(s, j) : '0';
        const std::string kept = withoutLeadingZeros(upper + lower);
        if (kept != s && kept != answer) add(M::LowerDigitsKept, kept);
    }

    // "上からN桁" rounded at the place N; a named place P kept as P digits.
    const int place = p.ProblemType == 4   ? 4 - k
                      : p.ProblemType == 3 ? digits - (k + 1)
                                           : digits - k;
    if (place >= 1 && place <= digits && roundAt(s, place) != s)
        add(M::CountPlaceMixup, roundAt(s, place));

    add(M::ProblemNumber, s);

    // One digit of the answer changed, at each position, to a digit that
    // varies with the number; never a leading 0.
    for (size_t i = 0; i < answer.size(); ++i) {
        std::string t = answer;
        t[i] = static_cast<char>('0' + (t[i] - '0' + 1 + p.number % 8) % 10);
        if (i == 0 && t[0] == '0' && t.size() > 1) t[0] = answer[0] == '1' ? '2' : '1';
        add(M::MistypedDigit, t);
    }

    add(M::NoAnswer, "");

    add(M::Other, "*");
    add(M::Other, "*" + answer);
    add(M::Other, answer + ".5");
    if (answer.size() > 1) add(M::Other, answer.substr(0, 1) + "," + answer.substr(1));
    return a;
}

// The kind a typical answer of `kind` is expected as: the first kind in the
// list among whose typical answers it stands.
Mistake expectedKind(const Answers& a, Mistake kind, const std::string& entry) {
    for (int m = 0; m < static_cast<int>(kind); ++m) {
        const auto& earlier = a[static_cast<size_t>(m)];
        if (std::find(earlier.begin(), earlier.end(), entry) != earlier.end())
            return static_cast<Mistake>(m);
    }
    return kind;
}

// The numbers a kind of problem is tried with: all of 1..99; of the
// four-digit numbers, every one written with the digits that decide a
// rounding (0; a low digit; 4 and 5 on either side of the half; a high
// digit; 9, which carries on), 1000 and 9999 among them.
std::vector<int> numbersToTry(int first, int last) {
    std::vector<int> numbers;
    if (last < 1000) {
        for (int n = first; n <= last; ++n)
            numbers.push_back(n);
        return numbers;
    }
    const int digits[] = {0, 1, 4, 5, 8, 9};
    for (int a : digits)
        for (int b : digits)
            for (int c : digits)
                for (int d : digits)
                    if (a != 0) numbers.push_back(a * 1000 + b * 100 + c * 10 + d);
    return numbers;
}

} // namespace

TEST(Mistakes, NamesAreTheOnesEveryScreenShows) {
    const char* names[] = {"正解",
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
                           "その他"};
    for (int m = 0; m < kMistakeCount; ++m)
        EXPECT_EQ(mistakeName(static_cast<Mistake>(m)), names[m]);
}

// Worked examples for each kind of problem and each kind of mistake.
TEST(Mistakes, WorkedExamples) {
    struct Case {
        int type, number, place;
        const char* entry;
        Mistake expected;
    } cases[] = {
        // 4350 at the tens (answer 4400), the running example.
        {2, 4350, 2, "4400", M::Right},
        {2, 4350, 2, "4000", M::WrongPlace}, // rounded at the hundreds
        {2, 4350, 2, "4300", M::CutOff},
        {2, 4350, 2, "44", M::DroppedLowerDigits},
        {2, 4350, 2, "440", M::DroppedLowerDigits},
        {2, 4350, 2, "4450", M::LowerDigitsKept},
        {2, 4350, 2, "4350", M::ProblemNumber}, // also 4350 rounded at the ones
        {2, 4350, 2, "4500", M::MistypedDigit},
        {2, 4350, 2, "0400", M::MistypedDigit}, // as typed, one digit wrong
        {2, 4350, 2, "", M::NoAnswer},
        {2, 4350, 2, "4", M::Other},
        {2, 4356, 2, "4360", M::WrongPlace}, // rounded at the ones
        {2, 4356, 2, "4456", M::LowerDigitsKept},
        {2, 4321, 2, "4400", M::RoundedUp},
        // The carry through a 9: dropped, or its 10 written into the place.
        {2, 3960, 2, "3000", M::LostCarry},
        {2, 3960, 2, "31000", M::LostCarry},
        {2, 3996, 1, "3900", M::LostCarry},
        {2, 3996, 1, "3000", M::LostCarry},
        {2, 3996, 1, "39100", M::LostCarry},
        {2, 3996, 1, "3990", M::CutOff}, // the carry into the first 9 lost
        {2, 9999, 3, "9000", M::CutOff},
        {2, 9999, 3, "1000", M::DroppedLowerDigits},
        {2, 9999, 1, "0", M::LostCarry},
        {2, 1234, 1, "1000", M::CountPlaceMixup}, // 一の位 kept as 上から1桁
        // Cut off at the ones and rounded at the tens give 4000: the order
        // of the list makes it the wrong place.
        {2, 4005, 1, "4000", M::WrongPlace},

        // Kind 3: the place named is k + 1.
        {3, 4350, 2, "4400", M::Right},      // 百の位までの概数
        {3, 4350, 2, "4000", M::WrongPlace}, // to the thousands
        {3, 1234, 3, "2000", M::RoundedUp},
        {3, 1996, 1, "1900", M::LostCarry},
        {3, 1996, 1, "1990", M::CutOff},

        // Kind 4: 上から(4 - k)桁.
        {4, 1234, 1, "1230", M::Right},           // 上から3桁
        {4, 1234, 1, "1000", M::CountPlaceMixup}, // rounded at the hundreds (place 3)
        {4, 5678, 3, "6000", M::Right},           // 上から1桁
        {4, 5678, 3, "5680", M::CountPlaceMixup}, // rounded at the ones (place 1)
        {4, 5678, 3, "5000", M::CutOff},
        {4, 5678, 3, "6", M::DroppedLowerDigits},
        {4, 5678, 3, "6678", M::LowerDigitsKept},
        {4, 5678, 3, "6070", M::LowerDigitsKept},
        {4, 5678, 3, "10000", M::WrongPlace}, // rounded at the thousands

        // Kind 1: 1..99 at the ones.
        {1, 57, 1, "60", M::Right},
        {1, 57, 1, "100", M::WrongPlace},
        {1, 57, 1, "50", M::CutOff},
        {1, 34, 1, "40", M::RoundedUp},
        {1, 34, 1, "0", M::WrongPlace},
        {1, 97, 1, "0", M::LostCarry},
        {1, 95, 1, "10", M::DroppedLowerDigits},
        {1, 57, 1, "6", M::DroppedLowerDigits},
        {1, 57, 1, "67", M::LowerDigitsKept},
        {1, 57, 1, "57", M::ProblemNumber},
        {1, 57, 1, "80", M::MistypedDigit},
        {1, 7, 1, "0", M::CutOff}, // the tens hold no digit of 7
        {1, 7, 1, "17", M::LowerDigitsKept},
        {1, 4, 1, "0", M::Right},
        {1, 4, 1, "4", M::ProblemNumber},
        {1, 4, 1, "1", M::MistypedDigit},
        {1, 4, 1, "", M::NoAnswer},
        {1, 4, 1, "*", M::Other}, // no number, not 0

        // The forms the judge reads as a number.
        {2, 4350, 2, "4400.0", M::Right},
        {2, 4350, 2, "4400+", M::Right},
        {2, 4350, 2, "04400", M::Right},
        {2, 4350, 2, "+4300", M::CutOff},
        {2, 4350, 2, "04300", M::CutOff},
        {2, 4350, 2, "4300.", M::CutOff},
        {2, 4350, 2, "4,400", M::Other}, // read as 4
        {2, 4350, 2, "4300+", M::Other},
        {2, 4350, 2, "-4300", M::Other},
        {2, 4350, 2, "4300.5", M::Other},
        {2, 4350, 2, "12345678901234567890123", M::Other},
    };
    for (const auto& c : cases) {
        const Problem p = makeProblem(c.type, c.number, c.place);
        EXPECT_EQ(classifyMistake(p, c.entry), c.expected)
            << "kind " << c.type << ", " << c.number << " at place " << c.place << ", entry '"
            << c.entry << "'";
    }
}

TEST(Mistakes, ProblemsTheGeneratorCannotMakeAreStillClassified) {
    struct Case {
        Problem problem;
        const char* entry;
        Mistake expected;
    } cases[] = {
        {Problem{}, "", M::NoAnswer},
        {Problem{}, "0", M::Right},
        {Problem{}, "5", M::MistypedDigit},
        {makeProblem(2, 4350, 0), "4350", M::Right},
        {makeProblem(2, 4350, 0), "4300", M::MistypedDigit},
        {makeProblem(2, 4350, 12), "4350", M::ProblemNumber},
        {makeProblem(9, 4350, 2), "4300", M::MistypedDigit},
        {makeProblem(2, -4350, 2), "4350", M::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classifyMistake(c.problem, c.entry), c.expected)
            << c.problem.number << " at " << c.problem.RoundPlace << ", '" << c.entry << "'";
}

// Every kind of problem at every place it takes, over the numbers above:
// each mistake's typical answers come back as that kind, or as the earlier
// kind they coincide with. Each mistake must come back as itself somewhere for
// each kind of problem, but the mix-up of count and place, which kinds 1
// and 3 cannot show apart from the answer, a neighbouring place or the
// number itself.
TEST(Mistakes, TypicalAnswersOverTheDomainComeBackAsTheirKind) {
    struct Domain {
        int type, first, last, places;
    } domains[] = {{1, 1, 99, 1}, {2, 1000, 9999, 3}, {3, 1000, 9999, 3}, {4, 1000, 9999, 3}};
    for (const auto& d : domains) {
        std::array<int, kMistakeCount> asItself{};
        const std::vector<int> numbers = numbersToTry(d.first, d.last);
        for (int k = 1; k <= d.places; ++k) {
            for (int n : numbers) {
                const Problem p = makeProblem(d.type, n, k);
                const Answers a = typicalAnswers(p);
                for (int m = 0; m < kMistakeCount; ++m) {
                    for (const std::string& entry : a[static_cast<size_t>(m)]) {
                        const Mistake expected = expectedKind(a, static_cast<Mistake>(m), entry);
                        const Mistake got = classifyMistake(p, entry);
                        if (got != expected) {
                            FAIL()
                                << "kind " << d.type << ", " << n << " at place " << k
                                << ", typical " << nameOf(static_cast<Mistake>(m)) << " '" << entry
                                << "': " << nameOf(got) << " instead of " << nameOf(expected);
                        }
                        asItself[static_cast<size_t>(m)] += expected == static_cast<Mistake>(m);
                    }
                }
            }
        }
        for (int m = 0; m < kMistakeCount; ++m) {
            const bool unreachable =
                static_cast<Mistake>(m) == M::CountPlaceMixup && (d.type == 1 || d.type == 3);
            EXPECT_EQ(asItself[static_cast<size_t>(m)] > 0, !unreachable)
                << "kind " << d.type << ": " << nameOf(static_cast<Mistake>(m));
        }
    }
}
