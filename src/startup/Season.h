#pragma once
// The colour of the season, the background of the sign-in and level screens.
#include <cstdint>

namespace kestrel {

// Colour values: red in the low byte, then green, then blue.
inline constexpr uint32_t kColourOrange = 33023;        // 255, 128, 0
inline constexpr uint32_t kColourLightGreen = 12648384; // 192, 255, 192
inline constexpr uint32_t kColourTurquoise = 12632064;  // 0, 192, 192
inline constexpr uint32_t kColourBrown = 16576;         // 192, 64, 0

// Months 1-2 orange, 3-5 light green, 6-8 turquoise, 9-11 brown, 12 light
// green; a month outside 1..12 gives light green.
uint32_t seasonColour(int month);

} // namespace kestrel
