// DitherLayer: SketchOverColor as black and white dots, by error diffusion
// with the Stucki weights, thresholded at the frame's mean grey. Rows are
// dithered from y = 0 (the bottom row) upward, each left to right, so the
// error travels up the picture. Shares toward larger x and y stop one column
// and one row short of the plane's edge.
#include "stages.h"

#include "pixel_loops.h"
#include "rounding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

namespace {

// What a pixel's value u (its grey plus carried error, before clamping to
// 0..255) gives on: the twelve error shares, which take the weights 1, 2,
// 4 and 8. share = e * weight / 42, truncated toward zero (-255 * 8 gives
// -48, not -49), with e = clamped u - dot. Eight bytes, so that a value
// finds its entry without a multiply.
struct Outcome {
    std::int16_t w1, w2, w4, w8;
};

// Carried error never exceeds the 255 that the 42 weights share out, so
// with the start-up divisor u lies in -127..382.
constexpr int kLowest = -127;
constexpr int kHighest = 382;

// The shares and the dot (0 or 255) of every value u, indexed
// scale * u - kLowest * scale + k for each k below scale: with a scale of 2
// a pixel's entry is found from twice its value, which saves the halving
// on the path from one pixel to the next.
struct OutcomeTable {
    std::vector<Outcome> shares;
    std::vector<std::uint8_t> dots;
};

OutcomeTable Outcomes(int mean, int scale)
{
    OutcomeTable table;
    table.shares.resize(static_cast<std::size_t>((kHighest - kLowest + 1) * scale));
    table.dots.resize(table.shares.size());
    for (int u = kLowest; u <= kHighest; ++u) {
        const int v = ClampByte(u);
        const int dot = v >= mean ? 255 : 0;
        const int e = v - dot;
        const Outcome shares{static_cast<std::int16_t>(e * 1 / 42), static_cast<std::int16_t>(e * 2 / 42),
                             static_cast<std::int16_t>(e * 4 / 42), static_cast<std::int16_t>(e * 8 / 42)};
        for (int k = 0; k < scale; ++k) {
            const auto i = static_cast<std::size_t>((u - kLowest) * scale + k);
            table.shares[i] = shares;
            table.dots[i] = static_cast<std::uint8_t>(dot);
        }
    }
    return table;
}

// The grey of every pixel of a 3-channel plane (the truncated channel
// average), and their total.
QF_PIXEL_LOOP std::int64_t GreysOf(const std::uint8_t* __restrict in, std::uint8_t* __restrict grey,
                                   int width, int height)
{
    std::int64_t total = 0;
    const std::size_t w = static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y, in += 3 * w, grey += w) {
        unsigned rowTotal = 0; // 255 for each of at most 2^24 pixels a row
        for (std::size_t x = 0; x < w; ++x) {
            const auto g = static_cast<std::uint8_t>(Third(in[3 * x] + in[3 * x + 1] + in[3 * x + 2]));
            grey[x] = g;
            rowTotal += g;
        }
        total += rowTotal;
    }
    return total;
}

// The dither proper. value(g, err) is the pixel's grey g plus what the error
// err carried to it adds, err * 10 / DitherErrorDivisor, within
// kLowest..kHighest, times kScale plus less than kScale (the table's index). paint(y, dots) writes row y of
// DitherLayer from its dots, one byte (0 or 255) a pixel.
//
// Only the shares within the row chain one pixel to the next: the error
// reaching x + 1 is what the rows below carried to it, the share 4 of x - 1
// and the share 8 of x, and only the last waits on x. The shares for the
// next two rows are noted per pixel and added after the row, each target
// summing the five pixels that reach it: share 3 from x + 2, 4 from x + 1,
// 5 from x, 6 from x - 1 and 7 from x - 2 (8 to 12 likewise). A target left
// of column MaxX gets all five that exist; column MaxX only gets the share
// from straight below, as the shares toward larger x stop one column short.
template <int kScale, typename Value, typename Paint>
void Diffuse(const std::uint8_t* grey, int width, int height, int mean, Value value, Paint paint)
{
    const int maxX = width - 1;
    const int maxY = height - 1;
    const OutcomeTable table = Outcomes(mean, kScale);
    const Outcome* outcome = table.shares.data() - kLowest * kScale;
    const std::uint8_t* dotOf = table.dots.data() - kLowest * kScale;

    // Carried error of the rows y + 1 and y + 2; rotated per row.
    std::vector<int> rows(static_cast<std::size_t>(width) * 3, 0);
    int* row1 = rows.data();
    int* row2 = row1 + width;
    int* row3 = row2 + width;
    // This row's shares by weight, with two zero columns on either side.
    const std::size_t padded = static_cast<std::size_t>(width) + 4;
    std::vector<int> shares(padded * 4, 0);
    int* s1 = shares.data() + 2;
    int* s2 = s1 + padded;
    int* s4 = s2 + padded;
    int* s8 = s4 + padded;
    std::vector<std::uint8_t> dots(static_cast<std::size_t>(width));

    for (int y = 0; y < height; ++y, grey += width) {
        // Held at full register width, so that a value indexes the tables
        // without a widening step on the path from pixel to pixel.
        std::ptrdiff_t ahead = row1[0]; // error reaching x, but for the share 8 of x - 1
        std::ptrdiff_t given = 0;       // the share 8 of x - 1
        std::ptrdiff_t lastW4 = 0;      // the share 4 of x - 1, for x + 1
        int x = 0;
        // Left of the last three columns every share within the row lands.
        for (; x < maxX - 2; ++x) {
            const std::ptrdiff_t u = value(grey[x], ahead + given);
            const Outcome o = outcome[u];
            dots[static_cast<std::size_t>(x)] = dotOf[u];
            given = o.w8;
            ahead = row1[x + 1] + lastW4;
            lastW4 = o.w4;
            s1[x] = o.w1;
            s2[x] = o.w2;
            s4[x] = o.w4;
            s8[x] = o.w8;
        }
        for (; x < width; ++x) {
            const std::ptrdiff_t u = value(grey[x], ahead + given);
            const Outcome o = outcome[u];
            dots[static_cast<std::size_t>(x)] = dotOf[u];
            given = x < maxX - 1 ? o.w8 : 0;
            ahead = (x < maxX ? row1[x + 1] : 0) + lastW4;
            lastW4 = x < maxX - 2 ? o.w4 : 0;
            s1[x] = o.w1;
            s2[x] = o.w2;
            s4[x] = o.w4;
            s8[x] = o.w8;
        }
        paint(y, dots.data());
        if (y < maxY - 1) {
            for (int t = 0; t < maxX; ++t) {
                row2[t] += s2[t + 2] + s4[t + 1] + s8[t] + s4[t - 1] + s2[t - 2];
            }
            row2[maxX] += s8[maxX];
        }
        if (y < maxY - 2) {
            for (int t = 0; t < maxX; ++t) {
                row3[t] += s1[t + 2] + s2[t + 1] + s4[t] + s2[t - 1] + s1[t - 2];
            }
            row3[maxX] += s4[maxX];
        }
        // The next row's error moves up; the freed row starts at zero.
        int* done = row1;
        row1 = row2;
        row2 = row3;
        row3 = done;
        std::fill(row3, row3 + width, 0);
    }
}

// AdjustDitherDepth: with sketch depth adjusted, a dot (0) takes half the
// frame's brightness at its pixel, in colour or in grey, rounded half to
// even (Half). Paper (255) is never changed. Each row is softened as it is
// made, which is the same as softening the finished layer: softening reads
// only the dot itself and the source.

QF_PIXEL_LOOP void PaintDots(std::uint8_t* __restrict out, const std::uint8_t* __restrict dots, int width)
{
    for (int x = 0; x < width; ++x) {
        out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = dots[x];
    }
}

QF_PIXEL_LOOP void PaintColourDepth(std::uint8_t* __restrict out, const std::uint8_t* __restrict dots,
                                    const std::uint8_t* __restrict src, int width)
{
    for (int x = 0; x < width; ++x) {
        const unsigned dot = dots[x];
        for (int c = 0; c < 3; ++c) {
            out[3 * x + c] = static_cast<std::uint8_t>(dot | (Half(src[3 * x + c]) & ~dot));
        }
    }
}

QF_PIXEL_LOOP void PaintGreyDepth(std::uint8_t* __restrict out, const std::uint8_t* __restrict dots,
                                  const std::uint8_t* __restrict grey, int width)
{
    for (int x = 0; x < width; ++x) {
        const unsigned dot = dots[x];
        out[3 * x] = out[3 * x + 1] = out[3 * x + 2] =
            static_cast<std::uint8_t>(dot | (Half(grey[x]) & ~dot));
    }
}

} // namespace

void DitherPencil(EngineState& s, int inkShift, const Switches& switches)
{
    const int width = s.SketchOverColor.width();
    const int height = s.SketchOverColor.height();
    s.DitherLayer.reshape(3, width, height); // every pixel is written below

    // Mean grey over the frame (a 64-bit total: no frame size can overflow it).
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels == 0) {
        return;
    }
    // Every grey is written below; kept from frame to frame, so that it is
    // not zero-filled and faulted in afresh for every frame.
    thread_local std::vector<std::uint8_t> grey;
    grey.resize(pixels);
    const std::int64_t total = GreysOf(s.SketchOverColor.data(), grey.data(), width, height);
    // A pixel at or above the threshold is paper; more ink lifts it.
    const int mean = static_cast<int>(total / static_cast<std::int64_t>(pixels)) + inkShift;

    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    auto diffuse = [&](auto paint) {
        const int divisor = s.Settings.DitherErrorDivisor;
        if (divisor == 20) {
            // err * 10 / 20 truncates exactly as err / 2 does, and
            // g + err / 2 is half of 2 g + err, plus one when err < 0,
            // rounded down.
            Diffuse<2>(
                grey.data(), width, height, mean,
                [](std::ptrdiff_t g, std::ptrdiff_t err) { return 2 * g + err + (err < 0 ? 1 : 0); }, paint);
        } else if (divisor != 0) {
            // Limiting the sum to the table's range before the clamp to 0..255
            // changes nothing.
            Diffuse<1>(
                grey.data(), width, height, mean,
                [divisor](std::ptrdiff_t g, std::ptrdiff_t err) {
                    return std::clamp<std::ptrdiff_t>(g + err * 10 / divisor, kLowest, kHighest);
                },
                paint);
        } else {
            // A divisor of 0 carries no error instead of dividing by zero.
            Diffuse<1>(
                grey.data(), width, height, mean, [](std::ptrdiff_t g, std::ptrdiff_t) { return g; }, paint);
        }
    };

    std::uint8_t* out = s.DitherLayer.data();
    if (!switches.adjustTicked()) {
        diffuse([&](int y, const std::uint8_t* dots) {
            PaintDots(out + static_cast<std::size_t>(y) * rowBytes, dots, width);
        });
    } else if (switches.colorSketchTicked()) {
        const std::uint8_t* src = s.SourceCopy.data();
        diffuse([&](int y, const std::uint8_t* dots) {
            const std::size_t at = static_cast<std::size_t>(y) * rowBytes;
            PaintColourDepth(out + at, dots, src + at, width);
        });
    } else {
        const std::uint8_t* greys = s.GrayPlane.data();
        diffuse([&](int y, const std::uint8_t* dots) {
            PaintGreyDepth(out + static_cast<std::size_t>(y) * rowBytes, dots,
                           greys + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width);
        });
    }
}

} // namespace qf
