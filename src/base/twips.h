#pragma once
// Rounding and twips, shared by every layer.
#include <cmath>
#include <cstdint>

namespace base {

// Nearest integer, ties to the even neighbour (800.5 -> 800, 801.5 -> 802),
// independent of the floating-point environment.
inline double RoundHalfEven(double x) {
    double r = std::floor(x + 0.5);
    if (r - x == 0.5 && std::fmod(r, 2.0) != 0.0) r -= 1.0;
    return r;
}

inline int32_t NearestInt(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }

}  // namespace base
