#pragma once
// What kind of mistake a judged entry shows, so that a teacher sees how a
// child went wrong and not only that they did. A pure function of the
// problem and the entry as the judge read it.
//
// Terms: n is the problem's number, with D digits; k its RoundPlace (1 ones,
// 2 tens, 3 hundreds); A its CorrectAnswer, n rounded half up at place k.
// round(j), cut(j) and up(j) are n rounded half up, cut off and rounded up
// at place j: places 1..j become 0, and round and up carry into place j + 1
// (round when the digit of place j is 5 or more, up when any of places
// 1..j is not 0); at j = 0 they leave n as it is.
//
// The entry's number v: the entry is a whole number when it is an optional
// "+", digits, and optionally a decimal point followed by nothing but 0s
// ("+4300", "04300", "4300.0" are 4300). Any other entry ("4,400", "4300+",
// "-4300", "43.5", "*") fits no kind below that needs v.
//
// The kinds, in the order that decides when more than one fits:
//   正解               the judge's verdict is right (RunRules::isRightAnswer)
//   位のまちがい        v = round(k - 1) or round(k + 1), for such a place
//                      1..D that holds a digit of n, and v is not n
//   切り捨て            v = cut(k), and cut(k) is not A
//   切り上げ            v = up(k), and up(k) is not A
//   くり上がりわすれ     the carry of the hint runs through 9s (the digit of
//                      place k is 5 or more and that of place k + 1 is 9)
//                      and stops at one of them, place j: either it is
//                      dropped there, v = cut(j) (3960 at the tens: 3000),
//                      or the 10 is written into place j without carrying,
//                      v = the digits of n above j, then "10", then j - 1
//                      zeros (3960: 31000). j is any place from k + 1 up to
//                      the last 9 of the run. A single carry into a digit
//                      below 9 lost gives cut(k), which is 切り捨て.
//   下の位を消した      v >= 1 and v followed by one or more zeros is A: the
//                      answer without (some of) its trailing zeros (4350 at
//                      the tens: 44 or 440)
//   下の位を0にしていない v is not n and not A, agrees with A above place k,
//                      and each of its places 1..k holds 0 or n's digit
//                      there (4350 at the tens: 4450; 4356: 4456, 4406)
//   上から何けたと位のとりちがえ
//                      v is not n and is, for ProblemType 4 "上からN桁"
//                      (N = 4 - k), round(N): N taken for a place; for
//                      types 1 to 3, which name a place P (k for types 1
//                      and 2, k + 1 for type 3), round(D - P): P taken for a
//                      count of leading digits. The place lies in 1..D.
//   問題の数のまま      v = n
//   数字の打ちまちがい   the entry's digits before any decimal point, as
//                      typed or without leading zeros, have A's length and
//                      differ from A's digits at exactly one position
//   答えなし            the empty entry
//   その他              any other entry
//
// Every ProblemType rounds at place k; the types differ only in the numbers
// drawn and in the place or count their instruction names. 位のまちがい,
// 下の位を0にしていない and 上から… exclude n itself: a rounding that leaves
// n as it is (4350 rounded at the ones) is no sign of rounding there, and
// the child who typed the problem back is told so. For type 3, and for
// type 1, the count reading always lands on A, a neighbouring place or n,
// so it shows as one of those.
#include <string_view>

#include "drill/Problem.h"

namespace kestrel {

// The kinds in the order of the list above; the values are stable.
enum class Mistake {
    Right,
    WrongPlace,
    CutOff,
    RoundedUp,
    LostCarry,
    DroppedLowerDigits,
    LowerDigitsKept,
    CountPlaceMixup,
    ProblemNumber,
    MistypedDigit,
    NoAnswer,
    Other,
};
inline constexpr int kMistakeCount = 12;

// The kind's name as every screen and file shows it, e.g. "切り捨て".
std::string_view mistakeName(Mistake mistake);

// The kind of `entry` (the entry text as judged) as an answer to `problem`.
// A problem the generator cannot make (RoundPlace outside 1..9, a number
// below 1) is judged and compared with its number and its answer only.
Mistake classifyMistake(const Problem& problem, std::string_view entry);

} // namespace kestrel
