#include "platform/Random.h"

namespace kestrel {

void SystemRandom::seed(double seconds) {
    m_engine.seed(
        static_cast<std::mt19937::result_type>(std::fmod(seconds * 1000.0, 4294967296.0)));
}

float SystemRandom::next() {
    // 24 random bits give every float step in [0, 1) and never 1 itself.
    return static_cast<float>(m_engine() >> 8) / 16777216.0f;
}

} // namespace kestrel
