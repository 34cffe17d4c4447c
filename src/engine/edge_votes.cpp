// Edge votes: every pair of 8-connected neighbours is looked at once, from
// the pixel p towards its forward neighbours (x+1, y+1), (x, y+1), (x+1, y)
// and (x-1, y+1). A pair whose colours differ by more than the limit in some
// channel is an edge, and its darker pixel (by key) gets the vote; on equal
// keys p gets it. Votes only add up, so the visiting order does not matter.
//
// The pairs of one row and one direction are counted together over the
// row's bytes: each pixel's key and votes sit on the first of its three
// bytes, so the colour comparisons, the key comparisons and the vote counts
// are plain loops over contiguous bytes that the compiler vectorises. The
// two bytes after each pixel's first byte compute values nobody reads.
#include "stages.h"

#include "pixel_loops.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace qf {

namespace {

// Every pair is an edge when the limit is below 0; kept simple, as no
// setting in use gets here.
void CountEveryPair(const GreyPlane& key, GreyPlane& votes)
{
    const int width = key.width();
    const int height = key.height();
    auto vote = [&](int x, int y, int nx, int ny) {
        if (key(x, y) > key(nx, ny)) {
            ++votes(nx, ny);
        } else {
            ++votes(x, y);
        }
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x + 1 < width && y + 1 < height) {
                vote(x, y, x + 1, y + 1);
            }
            if (y + 1 < height) {
                vote(x, y, x, y + 1);
            }
            if (x + 1 < width) {
                vote(x, y, x + 1, y);
            }
            if (x > 0 && y + 1 < height) {
                vote(x, y, x - 1, y + 1);
            }
        }
    }
}

// The pairs (p, n) of `count` pixels starting at the bytes pa / na (colour),
// pk / nk (spread keys) and pv / nv (spread votes). edge receives, at each
// pixel's first byte, 1 where the pair is an edge and the vote goes to n.
// Each byte's difference is compared with the limit once, in toN, and a
// pixel's pair is an edge when one of its three bytes differs by more.
QF_PIXEL_LOOP void CountPairs(const std::uint8_t* __restrict pa, const std::uint8_t* __restrict na,
                              const std::uint8_t* __restrict pk, const std::uint8_t* __restrict nk,
                              std::uint8_t* __restrict pv, std::uint8_t* __restrict toN, int count,
                              std::uint8_t limit)
{
    for (int i = 0; i < 3 * count; ++i) {
        const std::uint8_t d = pa[i] > na[i] ? pa[i] - na[i] : na[i] - pa[i];
        toN[i] = static_cast<std::uint8_t>(d > limit);
    }
    const int bytes = 3 * count - 2; // the last pixel's first byte is the last one read
    for (int i = 0; i < bytes; ++i) {
        const std::uint8_t edge = toN[i] | toN[i + 1] | toN[i + 2];
        const std::uint8_t darkerN = pk[i] > nk[i] ? 1 : 0;
        pv[i] = static_cast<std::uint8_t>(pv[i] + (edge & (darkerN ^ 1)));
        toN[i] = static_cast<std::uint8_t>(edge & darkerN);
    }
}

QF_PIXEL_LOOP void AddVotes(std::uint8_t* __restrict votes, const std::uint8_t* __restrict add, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        votes[i] = static_cast<std::uint8_t>(votes[i] + add[i]);
    }
}

} // namespace

QF_PIXEL_LOOP void CountEdgeVotes(const ColourPlane& colour, const GreyPlane& key, GreyPlane& votes,
                                  int limit)
{
    const int width = key.width();
    const int height = key.height();
    if (width == 0 || height == 0 || limit >= 255) {
        return; // no channel differs by more than 255
    }
    if (limit < 0) {
        CountEveryPair(key, votes);
        return;
    }
    const auto lim = static_cast<std::uint8_t>(limit);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;

    // Keys and votes spread to the first byte of each pixel, for the row
    // being looked from (current) and the row above; toN for one direction.
    std::vector<std::uint8_t> scratch(rowBytes * 5, 0);
    std::uint8_t* keyCur = scratch.data();
    std::uint8_t* keyUp = keyCur + rowBytes;
    std::uint8_t* voteCur = keyUp + rowBytes;
    std::uint8_t* voteUp = voteCur + rowBytes;
    std::uint8_t* toN = voteUp + rowBytes;

    auto spreadKeys = [&](int y, std::uint8_t* out) {
        const std::uint8_t* k = key.data() + key.index(0, y);
        for (int x = 0; x < width; ++x) {
            out[3 * x] = k[x];
        }
    };
    // One direction: the pixels from `first` on of the current row against
    // those `dx` columns along in row `nRow` (the current row or the one above).
    auto direction = [&](const std::uint8_t* pRow, const std::uint8_t* nRow, const std::uint8_t* nKeys,
                         std::uint8_t* nVotes, int first, int dx, int count) {
        if (count <= 0) {
            return;
        }
        const std::size_t p = static_cast<std::size_t>(first) * 3;
        const std::size_t n = static_cast<std::size_t>(first + dx) * 3;
        CountPairs(pRow + p, nRow + n, keyCur + p, nKeys + n, voteCur + p, toN, count, lim);
        AddVotes(nVotes + n, toN, 3 * count - 2);
    };

    spreadKeys(0, keyCur);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = colour.data() + colour.index(0, 0, y);
        direction(row, row, keyCur, voteCur, 0, 1, width - 1); // (x+1, y)
        if (y + 1 < height) {
            const std::uint8_t* above = colour.data() + colour.index(0, 0, y + 1);
            spreadKeys(y + 1, keyUp);
            direction(row, above, keyUp, voteUp, 0, 1, width - 1);  // (x+1, y+1)
            direction(row, above, keyUp, voteUp, 0, 0, width);      // (x, y+1)
            direction(row, above, keyUp, voteUp, 1, -1, width - 1); // (x-1, y+1)
        }
        // Row y has had all its pairs: hand its votes over.
        std::uint8_t* v = votes.data() + votes.index(0, y);
        for (int x = 0; x < width; ++x) {
            v[x] = static_cast<std::uint8_t>(v[x] + voteCur[3 * x]);
        }
        std::swap(keyCur, keyUp);
        std::swap(voteCur, voteUp);
        std::fill(voteUp, voteUp + rowBytes, std::uint8_t{0});
    }
}

} // namespace qf
