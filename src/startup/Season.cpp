#include "startup/Season.h"

namespace kestrel {

uint32_t seasonColour(int month) {
    if (month == 1 || month == 2) return kColourOrange;
    if (month >= 6 && month <= 8) return kColourTurquoise;
    if (month >= 9 && month <= 11) return kColourBrown;
    return kColourLightGreen;
}

} // namespace kestrel
