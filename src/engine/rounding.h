// Conversions of fractional values to integers: to the nearest integer, a
// value exactly halfway going to the even neighbour (2.5 gives 2, 3.5 gives
// 4). This is the default IEEE rounding mode, which the engine never changes.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace qf {

inline int RoundHalfEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

inline int ClampByte(int v)
{
    return std::clamp(v, 0, 255);
}

// Half a byte, rounded half to even: (v >> 1), plus one when v is odd and
// (v >> 1) is odd too (3 gives 2, 5 gives 2, 255 gives 128). Integer only,
// so that loops over bytes using it vectorise.
inline unsigned Half(unsigned v)
{
    return (v >> 1) + (v & (v >> 1) & 1u);
}

// Truncating division of a sum of byte values by a run length, as one
// multiply: with m = ceil(2^32 / n), (sum * m) >> 32 equals sum / n whenever
// sum * (m n - 2^32) < 2^32, which holds for every sum of up to n bytes
// (sum <= 255 n) while n <= kMaxRunDivisor.
inline constexpr int kMaxRunDivisor = 4095;

inline constexpr std::array<std::uint64_t, kMaxRunDivisor + 1> kRunReciprocals = [] {
    std::array<std::uint64_t, kMaxRunDivisor + 1> m{};
    for (std::uint64_t n = 1; n <= kMaxRunDivisor; ++n) {
        m[n] = ((std::uint64_t{1} << 32) + n - 1) / n;
    }
    return m;
}();

// sum / n for 1 <= n <= kMaxRunDivisor and 0 <= sum <= 255 n.
inline int DivideRun(int sum, int n)
{
    return static_cast<int>((static_cast<std::uint64_t>(sum) * kRunReciprocals[static_cast<std::size_t>(n)])
                            >> 32);
}

} // namespace qf
