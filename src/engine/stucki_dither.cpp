// DitherLayer: SketchOverColor as black and white dots, by error diffusion
// with the Stucki weights, thresholded at the frame's mean grey. Rows are
// dithered from y = 0 (the bottom row) upward, each left to right, so the
// error travels up the picture. Shares toward larger x and y stop one column
// and one row short of the plane's edge.
#include "stages.h"

#include "rounding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

namespace {

// share[w][e + 255] = e * w / 42, truncated toward zero, for the weights
// w = 1, 2, 4, 8 the twelve shares use.
struct StuckiShares {
    std::array<int, 511> w1{};
    std::array<int, 511> w2{};
    std::array<int, 511> w4{};
    std::array<int, 511> w8{};
};

const StuckiShares& Shares()
{
    static const StuckiShares table = [] {
        StuckiShares t;
        for (int e = -255; e <= 255; ++e) {
            const auto i = static_cast<std::size_t>(e + 255);
            t.w1[i] = e * 1 / 42;
            t.w2[i] = e * 2 / 42;
            t.w4[i] = e * 4 / 42;
            t.w8[i] = e * 8 / 42;
        }
        return t;
    }();
    return table;
}

// The dither proper; divide(carried) gives carried * 10 / DitherErrorDivisor.
template <typename Divide>
void Diffuse(EngineState& s, int mean, Divide divide)
{
    const int width = s.SketchOverColor.width();
    const int height = s.SketchOverColor.height();
    const int maxX = width - 1;
    const int maxY = height - 1;
    const StuckiShares& sh = Shares();

    // Carried error of the current row and the next two; rotated per row.
    std::vector<int> rows(static_cast<std::size_t>(width) * 3, 0);
    int* row1 = rows.data();
    int* row2 = row1 + width;
    int* row3 = row2 + width;

    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* out = s.DitherLayer.data();

    for (int y = 0; y < height; ++y) {
        const bool toRow2 = y < maxY - 1;
        const bool toRow3 = y < maxY - 2;
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            int v = ThirdsTable[static_cast<std::size_t>(in[0] + in[1] + in[2])] + divide(row1[x] * 10);
            v = ClampByte(v);
            const int ink = v >= mean ? 255 : 0;
            out[0] = out[1] = out[2] = static_cast<std::uint8_t>(ink);
            const auto e = static_cast<std::size_t>(v - ink + 255);

            if (x < maxX - 1) {
                row1[x + 1] += sh.w8[e];
            }
            if (x < maxX - 2) {
                row1[x + 2] += sh.w4[e];
            }
            if (toRow2) {
                if (x > 1) {
                    row2[x - 2] += sh.w2[e];
                }
                if (x > 0) {
                    row2[x - 1] += sh.w4[e];
                }
                row2[x] += sh.w8[e];
                if (x < maxX - 1) {
                    row2[x + 1] += sh.w4[e];
                }
                if (x < maxX - 2) {
                    row2[x + 2] += sh.w2[e];
                }
            }
            if (toRow3) {
                if (x > 1) {
                    row3[x - 2] += sh.w1[e];
                }
                if (x > 0) {
                    row3[x - 1] += sh.w2[e];
                }
                row3[x] += sh.w4[e];
                if (x < maxX - 1) {
                    row3[x + 1] += sh.w2[e];
                }
                if (x < maxX - 2) {
                    row3[x + 2] += sh.w1[e];
                }
            }
        }
        // The next row's error moves up; the freed row starts at zero.
        int* done = row1;
        row1 = row2;
        row2 = row3;
        row3 = done;
        std::fill(row3, row3 + width, 0);
    }
}

} // namespace

void DitherPencil(EngineState& s)
{
    const int width = s.SketchOverColor.width();
    const int height = s.SketchOverColor.height();
    s.DitherLayer.reset(3, width, height);

    // Mean grey over the frame (a 64-bit total: no frame size can overflow it).
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels == 0) {
        return;
    }
    const std::uint8_t* in = s.SketchOverColor.data();
    std::int64_t total = 0;
    for (std::size_t p = 0; p < pixels * 3; p += 3) {
        total += ThirdsTable[static_cast<std::size_t>(in[p] + in[p + 1] + in[p + 2])];
    }
    const int mean = static_cast<int>(total / static_cast<std::int64_t>(pixels));

    const int divisor = s.Settings.DitherErrorDivisor;
    if (divisor == 20) {
        // The start-up setting: a constant divisor compiles to a multiply.
        Diffuse(s, mean, [](int carried) { return carried / 20; });
    } else if (divisor != 0) {
        Diffuse(s, mean, [divisor](int carried) { return carried / divisor; });
    } else {
        // A divisor of 0 carries no error instead of dividing by zero.
        Diffuse(s, mean, [](int) { return 0; });
    }
}

void AdjustDitherDepth(EngineState& s, const Switches& switches)
{
    if (!switches.adjustTicked()) {
        return;
    }
    const std::size_t pixels = s.GrayPlane.size();
    std::uint8_t* dots = s.DitherLayer.data();
    if (switches.colorSketchTicked()) {
        const std::uint8_t* src = s.SourceCopy.data();
        for (std::size_t p = 0; p < pixels * 3; p += 3) {
            if (dots[p] == 0) {
                for (int c = 0; c < 3; ++c) {
                    dots[p + c] = static_cast<std::uint8_t>(RoundHalfEven(src[p + c] / 2.0));
                }
            }
        }
    } else {
        const std::uint8_t* gray = s.GrayPlane.data();
        for (std::size_t p = 0; p < pixels; ++p) {
            std::uint8_t* d = dots + p * 3;
            if (d[0] == 0) {
                d[0] = d[1] = d[2] = static_cast<std::uint8_t>(RoundHalfEven(gray[p] / 2.0));
            }
        }
    }
}

} // namespace qf
