// DitherLayer: SketchOverColor as black and white dots, by error diffusion
// with the Stucki weights, thresholded at the frame's mean grey. Rows are
// dithered from y = 0 (the bottom row) upward, each left to right, so the
// error travels up the picture. Shares toward larger x and y stop one column
// and one row short of the plane's edge.
#include "stages.h"

#include "rounding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

namespace {

// What a pixel's value u (its grey plus carried error, before clamping to
// 0..255) becomes: its dot (0 or 255) and the twelve error shares, which
// take the weights 1, 2, 4 and 8. share = e * weight / 42, truncated toward
// zero (-255 * 8 gives -48, not -49), with e = clamped u - dot.
struct Outcome {
    int w1, w2, w4, w8;
    std::uint8_t dot;
};

// Carried error never exceeds the 255 that the 42 weights share out, so
// with the start-up divisor u lies in -127..382.
constexpr int kLowest = -127;
constexpr int kHighest = 382;

std::vector<Outcome> Outcomes(int mean)
{
    std::vector<Outcome> table(static_cast<std::size_t>(kHighest - kLowest + 1));
    for (int u = kLowest; u <= kHighest; ++u) {
        const int v = ClampByte(u);
        const int dot = v >= mean ? 255 : 0;
        const int e = v - dot;
        table[static_cast<std::size_t>(u - kLowest)] =
            Outcome{e * 1 / 42, e * 2 / 42, e * 4 / 42, e * 8 / 42, static_cast<std::uint8_t>(dot)};
    }
    return table;
}

// The dither proper. value(g, err) is the pixel's grey g plus what the error
// err carried to it adds, err * 10 / DitherErrorDivisor, within
// kLowest..kHighest.
//
// Only the shares within the row chain one pixel to the next; they are kept
// in two running values (for x + 1 and x + 2). The shares for the next two
// rows are noted per pixel and added after the row, each target summing the
// five pixels that reach it: share 3 from x + 2, 4 from x + 1, 5 from x,
// 6 from x - 1 and 7 from x - 2 (8 to 12 likewise). A target left of column
// MaxX gets all five that exist; column MaxX only gets the share from
// straight below, as the shares toward larger x stop one column short.
template <typename Value, typename Paint>
void Diffuse(EngineState& s, int mean, Value value, Paint paint)
{
    const int width = s.SketchOverColor.width();
    const int height = s.SketchOverColor.height();
    const int maxX = width - 1;
    const int maxY = height - 1;
    const std::vector<Outcome> outcomes = Outcomes(mean);
    const Outcome* outcome = outcomes.data() - kLowest;

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

    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* out = s.DitherLayer.data();

    std::size_t p = 0; // the pixel's index in the plane
    for (int y = 0; y < height; ++y) {
        int next1 = 0; // shares already given to x + 1 in this row
        int next2 = 0; // and to x + 2
        for (int x = 0; x < width; ++x, in += 3, out += 3, ++p) {
            const int u =
                value(ThirdsTable[static_cast<std::size_t>(in[0] + in[1] + in[2])], row1[x] + next1);
            const Outcome& o = outcome[u];
            paint(out, o.dot, p);
            next1 = next2 + (x < maxX - 1 ? o.w8 : 0);
            next2 = x < maxX - 2 ? o.w4 : 0;
            s1[x] = o.w1;
            s2[x] = o.w2;
            s4[x] = o.w4;
            s8[x] = o.w8;
        }
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
    const std::uint8_t* in = s.SketchOverColor.data();
    std::int64_t total = 0;
    for (std::size_t p = 0; p < pixels * 3; p += 3) {
        total += ThirdsTable[static_cast<std::size_t>(in[p] + in[p + 1] + in[p + 2])];
    }
    // A pixel at or above the threshold is paper; more ink lifts it.
    const int mean = static_cast<int>(total / static_cast<std::int64_t>(pixels)) + inkShift;

    const int divisor = s.Settings.DitherErrorDivisor;
    auto diffuse = [&](auto paint) {
        if (divisor == 20) {
            // err * 10 / 20 truncates exactly as err / 2 does.
            Diffuse(
                s, mean, [](int g, int err) { return g + err / 2; }, paint);
        } else if (divisor != 0) {
            // Limiting the sum to the table's range before the clamp to 0..255
            // changes nothing.
            Diffuse(
                s, mean,
                [divisor](int g, int err) { return std::clamp(g + err * 10 / divisor, kLowest, kHighest); },
                paint);
        } else {
            // A divisor of 0 carries no error instead of dividing by zero.
            Diffuse(
                s, mean, [](int g, int) { return g; }, paint);
        }
    };

    // AdjustDitherDepth: with sketch depth adjusted, a dot (0) takes half
    // the frame's brightness at its pixel, in colour or in grey, rounded half
    // to even: (v >> 1), plus one when v is odd and (v >> 1) is odd too
    // (1.5 -> 2, 2.5 -> 2). Paper (255) is never changed. Each dot is
    // softened as it is made, which is the same as softening the finished
    // layer: softening reads only the dot itself and the source.
    const auto half = [](unsigned v) { return (v >> 1) + (v & (v >> 1) & 1u); };
    if (!switches.adjustTicked()) {
        diffuse([](std::uint8_t* out, std::uint8_t dot, std::size_t) { out[0] = out[1] = out[2] = dot; });
    } else if (switches.colorSketchTicked()) {
        const std::uint8_t* src = s.SourceCopy.data();
        diffuse([src, half](std::uint8_t* out, std::uint8_t dot, std::size_t p) {
            const std::uint8_t* c = src + p * 3;
            out[0] = static_cast<std::uint8_t>(dot | (half(c[0]) & ~dot));
            out[1] = static_cast<std::uint8_t>(dot | (half(c[1]) & ~dot));
            out[2] = static_cast<std::uint8_t>(dot | (half(c[2]) & ~dot));
        });
    } else {
        const std::uint8_t* grey = s.GrayPlane.data();
        diffuse([grey, half](std::uint8_t* out, std::uint8_t dot, std::size_t p) {
            out[0] = out[1] = out[2] = static_cast<std::uint8_t>(dot | (half(grey[p]) & ~dot));
        });
    }
}

} // namespace qf
