// The line sketch: a pixel is a line when it collected at least the votes
// asked or is darker than the dark limit, paper (255) otherwise; lone line
// pixels inside the frame are whitened (RemoveLonePixels); and with sketch
// depth adjusted the lines take half the frame's brightness at that point
// (AdjustSketchDepth), in grey or in colour, the colour then boosted by 0.7.
//
// The three steps are one pass over the rows. Each row's lines are first
// kept as a mask of one byte per pixel (0 line, 255 paper), and a row is
// written to SketchLayer once the row above it is known, which is all the
// lone-pixel test needs.
#include "stages.h"

#include "pixel_loops.h"
#include "rounding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

QF_PIXEL_LOOP void WhitenLoneInk(const std::uint8_t* __restrict below, std::uint8_t* row,
                                 const std::uint8_t* __restrict above, std::uint8_t* __restrict lone,
                                 int width)
{
    for (int x = 1; x + 1 < width; ++x) {
        const std::uint8_t around = below[x - 1] & below[x] & below[x + 1] & row[x - 1] & row[x + 1]
                                    & above[x - 1] & above[x] & above[x + 1];
        lone[x] = (row[x] == 0 && around == 255) ? 255 : 0;
    }
    for (int x = 1; x + 1 < width; ++x) {
        row[x] = static_cast<std::uint8_t>(row[x] | lone[x]);
    }
}

namespace {

// The mask of row y: 0 where the pixel is a line, 255 where it is paper.
// Paper needs fewer than voteMin votes and a grey of at least darkLimit:
// both are byte comparisons, at most mostVotes and at least leastGrey, and
// the lines of film grain are too scattered for a branch per pixel.
QF_PIXEL_LOOP void MaskRow(const EngineState& s, int y, int voteMin, int darkLimit,
                           std::uint8_t* __restrict mask)
{
    const int width = s.GrayPlane.width();
    const std::uint8_t* __restrict votes = s.EdgeCount.data() + s.EdgeCount.index(0, y);
    const std::uint8_t* __restrict grey = s.GrayPlane.data() + s.GrayPlane.index(0, y);
    if (voteMin <= 0 || darkLimit > 255) {
        std::fill_n(mask, width, std::uint8_t{0}); // no pixel can be paper
        return;
    }
    const auto mostVotes = static_cast<std::uint8_t>(std::min(voteMin - 1, 255));
    const auto leastGrey = static_cast<std::uint8_t>(std::max(darkLimit, 0));
    for (int x = 0; x < width; ++x) {
        const unsigned paper =
            static_cast<unsigned>(votes[x] <= mostVotes) & static_cast<unsigned>(grey[x] >= leastGrey);
        mask[x] = static_cast<std::uint8_t>(0u - paper);
    }
}

// Row y of SketchLayer from its mask: paper white, lines black or, with
// sketch depth adjusted, half the grey level or half each source channel.
// Lines are scattered along edges, so the tone is chosen with the mask
// itself rather than a branch.
QF_PIXEL_LOOP void WriteRow(EngineState& s, int y, const std::uint8_t* __restrict mask, bool adjust,
                            bool colour)
{
    const int width = s.SketchLayer.width();
    std::uint8_t* __restrict out = s.SketchLayer.data() + s.SketchLayer.index(0, 0, y);
    if (!adjust) {
        for (int x = 0; x < width; ++x) {
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = mask[x];
        }
    } else if (colour) {
        const std::uint8_t* __restrict src = s.SourceCopy.data() + s.SourceCopy.index(0, 0, y);
        for (int x = 0; x < width; ++x) {
            const unsigned m = mask[x];
            for (int c = 0; c < 3; ++c) {
                out[3 * x + c] = static_cast<std::uint8_t>(m | (Half(src[3 * x + c]) & ~m));
            }
        }
    } else {
        const std::uint8_t* __restrict grey = s.GrayPlane.data() + s.GrayPlane.index(0, y);
        for (int x = 0; x < width; ++x) {
            const unsigned m = mask[x];
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] =
                static_cast<std::uint8_t>(m | (Half(grey[x]) & ~m));
        }
    }
}

} // namespace

QF_PIXEL_LOOP void DrawSketchLines(EngineState& s, int voteMin, int darkLimit, bool adjust, bool colour)
{
    const int width = s.GrayPlane.width();
    const int height = s.GrayPlane.height();
    if (width == 0 || height == 0) {
        return;
    }
    // The masks of rows y - 1, y and y + 1 in turn, and the lone pixels of
    // the row being whitened.
    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<std::uint8_t> scratch(w * 4, 0);
    std::uint8_t* below = scratch.data();
    std::uint8_t* row = below + w;
    std::uint8_t* above = row + w;
    std::uint8_t* lone = above + w;

    MaskRow(s, 0, voteMin, darkLimit, row);
    for (int y = 0; y < height; ++y) {
        if (y + 1 < height) {
            MaskRow(s, y + 1, voteMin, darkLimit, above);
        }
        // Whitening needs all eight neighbours white, so it can never make
        // a neighbour lone: row y - 1, already whitened, decides row y
        // exactly as it did before.
        if (y > 0 && y + 1 < height) {
            WhitenLoneInk(below, row, above, lone, width);
        }
        WriteRow(s, y, row, adjust, colour);
        std::swap(below, row);
        std::swap(row, above);
    }
    if (adjust && colour) {
        // Paper (255 in every channel) is its own average and stays white.
        BoostSaturation(s.SketchLayer, kSketchSaturation);
    }
}

} // namespace qf
