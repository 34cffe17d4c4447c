// Similar-colour mixing: SketchOverColor becomes a flat-colour cartoon.
//
// The four-level grey image is split into ink (channel 0 is 0) and paper by
// its own edge votes; runs of paper along each row take the average of their
// source colours, then runs along each column are smoothed, ink gets its
// source colours back and the line sketch is drawn on top.
//
// The ink mask (all three channels 0 or all 255) is kept as one byte per
// pixel until the row pass, which rewrites every pixel of SketchOverColor
// from it. The row pass and the column pass work in place and read what
// they have already written. A row pass only ever reads its own row, and a
// column pass its own column, so walking the plane row by row (x inner)
// visits every row left to right and every column bottom to top exactly as
// a column-by-column walk does, and gives the same bytes.
#include "stages.h"

#include "pixel_loops.h"
#include "rounding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

namespace {

// The edge votes when the colours compared are the keys themselves, as
// Gray4Color is: a pair is an edge when its keys differ by more than limit,
// and then the pixel with the smaller key takes the vote. For limit >= 0 an edge
// never has equal keys, so a pixel's votes are the number of its (up to 8)
// neighbours whose key exceeds its own by more than limit, counted here row
// by row one neighbour direction at a time.
QF_PIXEL_LOOP void CountLevelVotes(const GreyPlane& key, GreyPlane& votes, int limit)
{
    const int width = key.width();
    const int height = key.height();
    limit = std::min(limit, 255); // no key exceeds another by more than 255
    std::vector<std::uint8_t> above(static_cast<std::size_t>(width)); // key + limit, at most 255
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* k = key.data() + key.index(0, y);
        std::uint8_t* v = votes.data() + votes.index(0, y);
        for (int x = 0; x < width; ++x) {
            above[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(std::min(k[x] + limit, 255));
        }
        const std::uint8_t* t = above.data();
        for (int dy = -1; dy <= 1; ++dy) {
            if (y + dy < 0 || y + dy >= height) {
                continue;
            }
            const std::uint8_t* m = key.data() + key.index(0, y + dy);
            for (int dx = -1; dx <= 1; ++dx) {
                if (dx == 0 && dy == 0) {
                    continue;
                }
                const int first = std::max(0, -dx);
                const int last = std::min(width, width - dx);
                const std::uint8_t* mm = m + dx;
                for (int x = first; x < last; ++x) {
                    v[x] = static_cast<std::uint8_t>(v[x] + (mm[x] > t[x] ? 1 : 0));
                }
            }
        }
    }
}

// The row pass: each paper pixel of a row takes the average source colour
// of the paper run around it, at most `radius` pixels to either side; ink
// becomes 0. The run ends on the left at the nearest pixel whose channel 0 is 0 as
// the row is being rewritten (an averaged pixel whose channel 0 came out 0
// ends it too), and on the right at the nearest ink pixel of the mask.
void FlattenRows(EngineState& s, const std::vector<std::uint8_t>& mask, int radius)
{
    const int width = s.SketchOverColor.width();
    const int height = s.SketchOverColor.height();
    const int maxX = width - 1;
    // A radius beyond the width reaches as far as the width itself; one of 0
    // or less never finds a run of two pixels.
    radius = std::clamp(radius, 0, width);
    const bool divideByMultiply = 2 * radius + 1 <= kMaxRunDivisor;

    std::vector<int> sums(static_cast<std::size_t>(width + 1) * 3); // prefix sums of the source row
    std::vector<int> nextInk(static_cast<std::size_t>(width));      // first ink at or right of x, or width

    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = s.SketchOverColor.data() + s.SketchOverColor.index(0, 0, y);
        const std::uint8_t* src = s.SourceCopy.data() + s.SourceCopy.index(0, 0, y);
        const std::uint8_t* ink = mask.data() + static_cast<std::size_t>(y) * width;

        sums[0] = sums[1] = sums[2] = 0;
        for (int i = 0; i < width; ++i) {
            for (int c = 0; c < 3; ++c) {
                sums[static_cast<std::size_t>((i + 1) * 3 + c)] =
                    sums[static_cast<std::size_t>(i * 3 + c)] + src[i * 3 + c];
            }
        }
        // Ink and paper alternate with the picture's grain: the scan
        // chooses with a mask rather than a branch.
        int next = width;
        for (int i = width - 1; i >= 0; --i) {
            const int here = -static_cast<int>(ink[i] == 0); // all ones at ink
            next = (i & here) | (next & ~here);
            nextInk[static_cast<std::size_t>(i)] = next;
        }

        int lastInk = -1; // last pixel left of x whose channel 0 now is 0
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = row + x * 3;
            if (ink[x] == 0) {
                px[0] = px[1] = px[2] = 0;
                lastInk = x;
                continue;
            }
            const int left = std::max({lastInk + 1, x - radius, 0});
            const int right = std::min({nextInk[static_cast<std::size_t>(x)] - 1, x + radius, maxX});
            const int n = right - left + 1;
            if (n <= 1) {
                px[0] = src[x * 3];
                px[1] = src[x * 3 + 1];
                px[2] = src[x * 3 + 2];
            } else {
                const int* hi = &sums[static_cast<std::size_t>((right + 1) * 3)];
                const int* lo = &sums[static_cast<std::size_t>(left * 3)];
                for (int c = 0; c < 3; ++c) {
                    const int sum = hi[c] - lo[c];
                    px[c] = static_cast<std::uint8_t>(divideByMultiply ? DivideRun(sum, n) : sum / n);
                }
            }
            if (px[0] == 0) {
                lastInk = x;
            }
        }
    }
}

// Smooths the paper pixel p over the paper run through it along one
// direction: up to `back` pixels before it (already smoothed) and up to
// `forward` pixels after it (not yet), each side ending before the nearest
// pixel whose channel 0 is 0. The run is averaged from the plane itself.
inline void SmoothPixel(std::uint8_t* p, std::ptrdiff_t step, int back, int forward)
{
    int s0 = p[0];
    int s1 = p[1];
    int s2 = p[2];
    int n = 1;
    const std::uint8_t* q = p;
    for (int i = 0; i < back; ++i) {
        q -= step;
        if (q[0] == 0) {
            break;
        }
        s0 += q[0];
        s1 += q[1];
        s2 += q[2];
        ++n;
    }
    q = p;
    for (int i = 0; i < forward; ++i) {
        q += step;
        if (q[0] == 0) {
            break;
        }
        s0 += q[0];
        s1 += q[1];
        s2 += q[2];
        ++n;
    }
    if (n > 1) {
        p[0] = static_cast<std::uint8_t>(DivideRun(s0, n));
        p[1] = static_cast<std::uint8_t>(DivideRun(s1, n));
        p[2] = static_cast<std::uint8_t>(DivideRun(s2, n));
    }
}

// The column pass: every paper pixel is averaged over the paper run of its column,
// at most `radius` pixels below and above. The average of paper pixels has
// channel 0 of at least 1, so no pixel changes between ink and paper here,
// and the runs stay where they were. Each column keeps running sums of the
// run below the pixel (already smoothed) and above it (not yet), which
// slide up a row at a time instead of being summed afresh: the same sums as
// SmoothPixel's, so the same bytes.
void SmoothColumns(ColourPlane& plane, int radius)
{
    const int width = plane.width();
    const int height = plane.height();
    const std::size_t w = static_cast<std::size_t>(width);
    const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(width) * 3;
    std::vector<int> below(w * 3, 0); // sums of the rows [y - belowCount, y - 1]
    std::vector<int> belowCount(w, 0);
    std::vector<int> above(w * 3, 0); // sums of the rows [y + 1, aboveEnd]
    std::vector<int> aboveEnd(w, 0);
    std::vector<std::uint8_t> blocked(w, 0); // the row after aboveEnd is ink or off the plane
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = plane.data() + plane.index(0, 0, y);
        const int reach = std::min(y + radius, height - 1);
        for (std::size_t x = 0; x < w; ++x, p += 3) {
            int* b = &below[x * 3];
            int* a = &above[x * 3];
            int& end = aboveEnd[x];
            if (y > 0) {
                // Row y leaves the run above, or the run above starts afresh.
                if (end >= y) {
                    a[0] -= p[0];
                    a[1] -= p[1];
                    a[2] -= p[2];
                } else {
                    end = y;
                }
            }
            if (p[0] == 0) {
                // Ink ends both runs.
                b[0] = b[1] = b[2] = 0;
                belowCount[x] = 0;
                a[0] = a[1] = a[2] = 0;
                end = y;
                blocked[x] = 0;
                continue;
            }
            while (blocked[x] == 0 && end < reach) {
                const std::uint8_t* q = p + static_cast<std::ptrdiff_t>(end + 1 - y) * step;
                if (q[0] == 0) {
                    blocked[x] = 1;
                    break;
                }
                a[0] += q[0];
                a[1] += q[1];
                a[2] += q[2];
                ++end;
            }
            const int n = 1 + belowCount[x] + (end - y);
            if (n > 1) {
                p[0] = static_cast<std::uint8_t>(DivideRun(p[0] + b[0] + a[0], n));
                p[1] = static_cast<std::uint8_t>(DivideRun(p[1] + b[1] + a[1], n));
                p[2] = static_cast<std::uint8_t>(DivideRun(p[2] + b[2] + a[2], n));
            }
            // Row y joins the run below; the row radius below it leaves.
            b[0] += p[0];
            b[1] += p[1];
            b[2] += p[2];
            if (++belowCount[x] > radius) {
                const std::uint8_t* q = p - static_cast<std::ptrdiff_t>(radius) * step;
                b[0] -= q[0];
                b[1] -= q[1];
                b[2] -= q[2];
                --belowCount[x];
            }
        }
    }
}

// The second row pass: the same along each row.
void SmoothRows(ColourPlane& plane, int radius)
{
    const int width = plane.width();
    const int height = plane.height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = plane.data() + plane.index(0, 0, y);
        for (int x = 0; x < width; ++x, p += 3) {
            if (p[0] != 0) {
                SmoothPixel(p, 3, std::min(radius, x), std::min(radius, width - 1 - x));
            }
        }
    }
}

QF_PIXEL_LOOP void RestoreInkAndDrawLines(const std::uint8_t* __restrict src,
                                          const std::uint8_t* __restrict sketch, std::uint8_t* __restrict out,
                                          std::size_t pixels)
{
    for (std::size_t p = 0; p < pixels * 3; p += 3) {
        const unsigned ink = (out[p] | out[p + 1] | out[p + 2]) == 0 ? ~0u : 0u;
        const unsigned line = (sketch[p] & sketch[p + 1] & sketch[p + 2]) != 255 ? ~0u : 0u;
        for (std::size_t c = 0; c < 3; ++c) {
            const unsigned v = (out[p + c] & ~ink) | (src[p + c] & ink);
            out[p + c] = static_cast<std::uint8_t>((v & ~line) | (sketch[p + c] & line));
        }
    }
}

} // namespace

QF_PIXEL_LOOP void MixSimilarColours(EngineState& s)
{
    const int width = s.Gray4Plane.width();
    const int height = s.Gray4Plane.height();
    const std::size_t pixels = s.Gray4Plane.size();
    const EngineSettings& set = s.Settings;

    // Keys of the second edge pass.
    s.EdgeCount.reset(width, height);
    s.GrayEdgeKey.reshape(width, height); // every key is written below
    const std::uint8_t* grey4 = s.Gray4Plane.data();
    std::uint8_t* keyColour = s.Gray4Color.data();
    std::uint8_t* key = s.GrayEdgeKey.data();
    for (std::size_t p = 0; p < pixels; ++p) {
        keyColour[p * 3] = keyColour[p * 3 + 1] = keyColour[p * 3 + 2] = grey4[p];
        key[p] = grey4[p];
    }

    // Edge votes between grey levels.
    if (set.ColorDiffLimit >= 0) {
        CountLevelVotes(s.GrayEdgeKey, s.EdgeCount, set.ColorDiffLimit);
    } else {
        CountEdgeVotes(s.Gray4Color, s.GrayEdgeKey, s.EdgeCount, set.ColorDiffLimit);
    }

    // The ink mask; lone ink pixels become paper.
    std::vector<std::uint8_t> mask(pixels);
    const std::uint8_t* votes = s.EdgeCount.data();
    const int voteMin = set.EdgeVoteMin;
    const int darkLimit = set.DarkLimit;
    for (std::size_t p = 0; p < pixels; ++p) {
        const int ink = static_cast<int>(votes[p] >= voteMin) | static_cast<int>(key[p] < darkLimit);
        mask[p] = static_cast<std::uint8_t>(ink - 1); // 0 for ink, 255 for paper
    }
    {
        // Whitening needs every neighbour white, so it never changes the
        // outcome for another pixel: each row is decided and written in turn.
        std::vector<std::uint8_t> lone(static_cast<std::size_t>(width));
        for (int y = 1; y + 1 < height; ++y) {
            std::uint8_t* row = mask.data() + static_cast<std::size_t>(y) * width;
            WhitenLoneInk(row - width, row, row + width, lone.data(), width);
        }
    }

    // The radii: R along rows, 0.4 R (at most 20) along columns.
    const int rowRadius = set.MixRadius;
    const int columnRadius = std::min(RoundHalfEven(set.MixRadius * 0.4), 20);

    // Flatten rows, smooth columns, and with a column radius above 5 smooth
    // rows again. A radius of 0 or less never finds a run of two pixels.
    FlattenRows(s, mask, rowRadius);
    if (columnRadius > 0) {
        SmoothColumns(s.SketchOverColor, columnRadius);
    }
    if (columnRadius > 5) {
        SmoothRows(s.SketchOverColor, 3);
    }

    // Ink (all three channels 0) takes its source colours back; then the
    // line sketch goes on top. Both are chosen with masks rather than
    // branches: ink and lines follow the picture's detail, which in film
    // footage is noise to a branch predictor.
    RestoreInkAndDrawLines(s.SourceCopy.data(), s.SketchLayer.data(), s.SketchOverColor.data(), pixels);
}

} // namespace qf
