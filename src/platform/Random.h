#pragma once
// The uniform random source of the drill: single-precision values r with
// 0 <= r < 1, seeded from the clock.
#include <cmath>
#include <random>

namespace kestrel {

class Random {
public:
    virtual ~Random() = default;
    virtual void seed(double seconds) = 0;
    virtual float next() = 0;
};

// Int(r * scale + offset), computed in double: in single precision r just
// below 1 times 9000 would round up to 9000 and leave the range.
inline int drawInt(float r, double scale, double offset) {
    return static_cast<int>(std::floor(static_cast<double>(r) * scale + offset));
}

class SystemRandom : public Random {
public:
    void seed(double seconds) override;
    float next() override;

private:
    std::mt19937 m_engine{12345u};
};

} // namespace kestrel
