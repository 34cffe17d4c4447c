// Edge votes: every pair of 8-connected neighbours is looked at once, from
// the pixel p towards its forward neighbours (x+1, y+1), (x, y+1), (x+1, y)
// and (x-1, y+1). A pair whose colours differ by more than the limit in some
// channel is an edge, and its darker pixel (by key) gets the vote; on equal
// keys p gets it. Votes only add up, so the visiting order does not matter
// and rows are walked in memory order.
#include "stages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace qf {

namespace {

inline bool IsEdge(const std::uint8_t* a, const std::uint8_t* b, int limit)
{
    return std::abs(a[2] - b[2]) > limit || std::abs(a[1] - b[1]) > limit
           || std::abs(a[0] - b[0]) > limit;
}

} // namespace

void CountEdgeVotes(const ColourPlane& colour, const GreyPlane& key, GreyPlane& votes, int limit)
{
    const int width = key.width();
    const int height = key.height();
    const std::uint8_t* c = colour.data();
    const std::uint8_t* k = key.data();
    std::uint8_t* v = votes.data();

    // The pair of pixel p and its neighbour p + step (indexes of grey pixels).
    auto vote = [&](std::size_t p, std::ptrdiff_t step) {
        const std::size_t n = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(p) + step);
        if (!IsEdge(c + p * 3, c + n * 3, limit)) {
            return;
        }
        if (k[p] > k[n]) {
            ++v[n];
        } else {
            ++v[p];
        }
    };

    for (int y = 0; y < height; ++y) {
        const bool hasAbove = y + 1 < height;
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const std::size_t p = row + static_cast<std::size_t>(x);
            const bool hasRight = x + 1 < width;
            if (hasAbove && hasRight) {
                vote(p, width + 1);
            }
            if (hasAbove) {
                vote(p, width);
            }
            if (hasRight) {
                vote(p, 1);
            }
            if (hasAbove && x > 0) {
                vote(p, width - 1);
            }
        }
    }
}

} // namespace qf
