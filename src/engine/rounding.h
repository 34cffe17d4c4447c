// Conversions of fractional values to integers: to the nearest integer, a
// value exactly halfway going to the even neighbour (2.5 gives 2, 3.5 gives
// 4). This is the default IEEE rounding mode, which the engine never changes.
#pragma once

#include <algorithm>
#include <cmath>

namespace qf {

inline int RoundHalfEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

inline int ClampByte(int v)
{
    return std::clamp(v, 0, 255);
}

} // namespace qf
