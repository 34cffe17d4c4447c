#include "imaging/colour/palette_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "imaging/vector_clones.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QF_NEAREST_AVX2 1
#endif

namespace qf::imaging {

namespace {

// A slot that matches no colour asked: its upper half is no 0xRRGGBB.
constexpr std::uint64_t kEmptySlot = ~std::uint64_t{0};

// Further than any two colours lie apart.
constexpr int kFar = 3 * 255 * 255 + 1;

// Diffused error whose summed squares pass this (about 64 levels in each
// channel) is damped: a palette far from a pixel would otherwise throw
// specks of unrelated colour around it.
constexpr int kLargeError = 4096;

struct Error {
    int r = 0, g = 0, b = 0;
};

int Clamp(int v)
{
    return std::clamp(v, 0, 255);
}

} // namespace

NearestColour::NearestColour(const std::vector<std::uint32_t>& palette)
{
    coarse_.lists.assign(16 * 16 * 16, {-1, 0});
    fine_.lists.assign(32 * 32 * 32, {-1, 0});
    assign(palette);
}

void NearestColour::assign(const std::vector<std::uint32_t>& palette)
{
    // Only the cubes that were filled are emptied: far fewer than all.
    for (const std::size_t cube : coarse_.filled)
        coarse_.lists[cube].start = -1;
    coarse_.filled.clear();
    coarse_.entries.clear();
    for (const std::size_t cube : fine_.filled)
        fine_.lists[cube].start = -1;
    fine_.filled.clear();
    fine_.blocks.clear();
    fine_.reach.clear();
    asked_.assign(std::size_t{1} << kAskedBits, kEmptySlot);
    entries_.clear();
    keys_.resize(palette.size());
    palette_ = palette;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const std::uint32_t c = palette[i];
        if (c == 0)
            continue;
        entries_.r.push_back(static_cast<std::uint8_t>(c >> 16));
        entries_.g.push_back(static_cast<std::uint8_t>(c >> 8));
        entries_.b.push_back(static_cast<std::uint8_t>(c));
        entries_.index.push_back(static_cast<std::uint8_t>(i));
    }
}

namespace {

// For each of count entries, its squared distance to the cube of side
// levels from (lr, lg, lb) << 8 | its index, into keys; returns the smallest
// distance of any entry to the cube's corner furthest from it. Every colour
// of the cube lies within that distance of some entry, so an entry further
// from the cube than that is never the nearest.
QF_VECTOR_CLONES int CubeReach(const std::uint8_t* r, const std::uint8_t* g, const std::uint8_t* b,
                               const std::uint8_t* index, std::size_t count, int lr, int lg, int lb, int side,
                               std::uint32_t* keys)
{
    const int hr = lr + side - 1;
    const int hg = lg + side - 1;
    const int hb = lb + side - 1;
    int bound = kFar;
    for (std::size_t i = 0; i < count; ++i) {
        const int vr = r[i];
        const int vg = g[i];
        const int vb = b[i];
        const int nr = std::max(std::max(lr - vr, vr - hr), 0);
        const int ng = std::max(std::max(lg - vg, vg - hg), 0);
        const int nb = std::max(std::max(lb - vb, vb - hb), 0);
        const int fr = std::max(vr - lr, hr - vr);
        const int fg = std::max(vg - lg, hg - vg);
        const int fb = std::max(vb - lb, hb - vb);
        keys[i] = static_cast<std::uint32_t>((nr * nr + ng * ng + nb * nb) << 8) | index[i];
        bound = std::min(bound, fr * fr + fg * fg + fb * fb);
    }
    return bound;
}

} // namespace

std::size_t NearestColour::Candidates(int side, int r, int g, int b, const Channels& from, std::size_t first,
                                      std::size_t count, std::uint32_t* keys)
{
    const int bound = CubeReach(from.r.data() + first, from.g.data() + first, from.b.data() + first,
                                from.index.data() + first, count, r & ~(side - 1), g & ~(side - 1),
                                b & ~(side - 1), side, keys);
    // Those near enough close up, in their order.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t key = keys[i];
        keys[kept] = key;
        kept += static_cast<int>(key >> 8) <= bound ? 1 : 0;
    }
    return kept;
}

NearestColour::List NearestColour::keepBlocks(std::size_t count) const
{
    // A search looks at every entry of a list's first block, so only a list
    // of more than one block needs its order: a block then holds none
    // nearer to the cube than the blocks before it. A key orders by
    // distance, then by index.
    if (count > 16)
        std::sort(keys_.begin(), keys_.begin() + static_cast<std::ptrdiff_t>(count));
    List list = {static_cast<std::int32_t>(fine_.blocks.size()), 0};
    for (std::size_t i = 0; i < count; i += 16) {
        Block block{};
        for (std::size_t k = 0; k < 16; ++k) {
            const std::uint32_t index = keys_[i + k < count ? i + k : 0] & 0xFF;
            const std::uint32_t c = palette_[index];
            block.r[k] = static_cast<std::uint8_t>(c >> 16);
            block.g[k] = static_cast<std::uint8_t>(c >> 8);
            block.b[k] = static_cast<std::uint8_t>(c);
            block.index[k] = static_cast<std::uint8_t>(index);
        }
        fine_.blocks.push_back(block);
        fine_.reach.push_back(static_cast<std::int32_t>(keys_[i] >> 8));
        ++list.count;
    }
    return list;
}

NearestColour::List NearestColour::blocksFor(int r, int g, int b) const
{
    const std::size_t fine = static_cast<std::size_t>(((r >> 3) * 32 + (g >> 3)) * 32 + (b >> 3));
    List& list = fine_.lists[fine];
    if (list.start >= 0)
        return list;
    const std::size_t coarse = static_cast<std::size_t>(((r >> 4) * 16 + (g >> 4)) * 16 + (b >> 4));
    List& within = coarse_.lists[coarse];
    if (within.start < 0) {
        const std::size_t count = Candidates(16, r, g, b, entries_, 0, entries_.index.size(), keys_.data());
        if (count <= 16) {
            within = {keepBlocks(count).start, static_cast<std::int32_t>(count)};
        } else {
            within = {static_cast<std::int32_t>(coarse_.entries.index.size()),
                      static_cast<std::int32_t>(count)};
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t index = keys_[i] & 0xFF;
                const std::uint32_t c = palette_[index];
                coarse_.entries.r.push_back(static_cast<std::uint8_t>(c >> 16));
                coarse_.entries.g.push_back(static_cast<std::uint8_t>(c >> 8));
                coarse_.entries.b.push_back(static_cast<std::uint8_t>(c));
                coarse_.entries.index.push_back(static_cast<std::uint8_t>(index));
            }
        }
        coarse_.filled.push_back(coarse);
    }
    // A fine cube within a coarse one of one block searches that block. Any
    // other takes all the entries of its coarse cube's list that pass, so
    // that list's order does not matter.
    if (within.count <= 16)
        list = {within.start, within.count > 0 ? 1 : 0};
    else
        list = keepBlocks(Candidates(8, r, g, b, coarse_.entries, static_cast<std::size_t>(within.start),
                                     static_cast<std::size_t>(within.count), keys_.data()));
    fine_.filled.push_back(fine);
    return list;
}

std::uint32_t NearestColour::searchAndKeep(std::uint32_t colour, std::uint32_t slot) const
{
    const auto found =
        static_cast<std::size_t>(search(static_cast<int>(colour >> 16), static_cast<int>(colour >> 8 & 0xFF),
                                        static_cast<int>(colour & 0xFF)));
    const std::uint32_t answer =
        static_cast<std::uint32_t>(found) << 24 | (found < palette_.size() ? palette_[found] & 0xFFFFFF : 0);
    asked_[slot] = std::uint64_t{colour} << 32 | answer;
    return answer;
}

namespace {

// The nearest of the first count blocks of a fine cube's list to (r, g, b):
// the smallest key, squared distance << 8 | index, so that among equally
// near entries the lower wins. A block whose first entry lies further from
// the cube than the nearest found holds none nearer. channels points at the
// first block, reach at its first entry's distance to the cube; blocks
// follow each other kBlockBytes apart.
constexpr std::size_t kBlockBytes = 64;

int NearestInBlocks(const std::uint8_t* channels, const std::int32_t* reach, std::int32_t count, int r, int g,
                    int b)
{
    int best = std::numeric_limits<int>::max();
    for (std::int32_t k = 0; k < count && reach[k] <= best >> 8; ++k, channels += kBlockBytes)
        for (std::size_t i = 0; i < 16; ++i) {
            const int dr = channels[i] - r;
            const int dg = channels[16 + i] - g;
            const int db = channels[32 + i] - b;
            best = std::min(best, (dr * dr + dg * dg + db * db) << 8 | channels[48 + i]);
        }
    return best;
}

#ifdef QF_NEAREST_AVX2
// 8 bytes at from, widened to 32 bits each.
__attribute__((target("avx2"), always_inline)) inline __m256i Widen(const std::uint8_t* from)
{
    std::int64_t bytes;
    std::memcpy(&bytes, from, 8);
    return _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(bytes));
}

// The keys of the 8 entries of a block from its place at.
__attribute__((target("avx2"), always_inline)) inline __m256i Keys(const std::uint8_t* at, __m256i r,
                                                                   __m256i g, __m256i b)
{
    const __m256i dr = _mm256_sub_epi32(Widen(at), r);
    const __m256i dg = _mm256_sub_epi32(Widen(at + 16), g);
    const __m256i db = _mm256_sub_epi32(Widen(at + 32), b);
    const __m256i d = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(dr, dr), _mm256_mullo_epi32(dg, dg)), _mm256_mullo_epi32(db, db));
    return _mm256_or_si256(_mm256_slli_epi32(d, 8), Widen(at + 48));
}

// NearestInBlocks, 8 entries at a time.
__attribute__((target("avx2"))) int NearestInBlocksAvx2(const std::uint8_t* channels,
                                                        const std::int32_t* reach, std::int32_t count, int r,
                                                        int g, int b)
{
    const __m256i vr = _mm256_set1_epi32(r);
    const __m256i vg = _mm256_set1_epi32(g);
    const __m256i vb = _mm256_set1_epi32(b);
    int best = std::numeric_limits<int>::max();
    for (std::int32_t k = 0; k < count && reach[k] <= best >> 8; ++k, channels += kBlockBytes) {
        const __m256i eight = _mm256_min_epi32(Keys(channels, vr, vg, vb), Keys(channels + 8, vr, vg, vb));
        __m128i four = _mm_min_epi32(_mm256_castsi256_si128(eight), _mm256_extracti128_si256(eight, 1));
        four = _mm_min_epi32(four, _mm_shuffle_epi32(four, _MM_SHUFFLE(1, 0, 3, 2)));
        four = _mm_min_epi32(four, _mm_shuffle_epi32(four, _MM_SHUFFLE(2, 3, 0, 1)));
        best = std::min(best, _mm_cvtsi128_si32(four));
    }
    return best;
}

#endif

} // namespace

int NearestColour::search(int r, int g, int b) const
{
#ifdef QF_NEAREST_AVX2
    static const auto nearestIn = __builtin_cpu_supports("avx2") ? NearestInBlocksAvx2 : NearestInBlocks;
#else
    constexpr auto nearestIn = NearestInBlocks;
#endif
    const List list = blocksFor(r, g, b);
    if (list.count == 0)
        return 0; // no opaque entry at all
    static_assert(sizeof(Block) == kBlockBytes);
    return nearestIn(fine_.blocks[static_cast<std::size_t>(list.start)].r.data(),
                     fine_.reach.data() + list.start, list.count, r, g, b)
           & 0xFF;
}

namespace {

// Maps one row, from left to right when kStep is 1 and from right to left
// when it is -1. thisRow holds the error the row above passed on (cell
// x + 1 for pixel x); the row's own error goes to nextRow.
template <int kStep>
void MapRow(const std::uint8_t* rgba, int width, const NearestColour& nearest, int transparent, int strength,
            const Error* thisRow, Error* nextRow, std::uint16_t* rowIndexes, std::uint32_t& lastQuery,
            std::uint32_t& lastAnswer)
{
    // The shares a pixel passes on within its row and to the cells of the
    // next row not yet complete are carried from pixel to pixel rather
    // than through memory, where each pixel would wait for the store of the
    // one before. A cell of the next row is written once, when the pixel
    // behind it has given its share: every cell of the row is written, so
    // none needs clearing first.
    Error below{};  // the pixel before's error: its share to the next row's
                    // cell under this pixel, and 7 times it to this pixel
    Error behind{}; // and the cell under the pixel before
    std::uint32_t query = lastQuery;
    std::uint32_t answer = lastAnswer;
    for (int n = 0; n < width; ++n) {
        const int x = kStep > 0 ? n : width - 1 - n;
        const std::size_t at = static_cast<std::size_t>(x + 1);
        const std::uint8_t* p = rgba + static_cast<std::size_t>(x) * 4;
        // Transparent pixels pass no error on.
        int er = 0;
        int eg = 0;
        int eb = 0;
        if (p[3] == 0) {
            rowIndexes[x] = static_cast<std::uint16_t>(transparent);
        } else {
            int r = p[0];
            int g = p[1];
            int b = p[2];
            if (strength > 0) {
                const Error& e = thisRow[at];
                int ar = ((e.r + below.r * 7) * strength + 32768) >> 16;
                int ag = ((e.g + below.g * 7) * strength + 32768) >> 16;
                int ab = ((e.b + below.b * 7) * strength + 32768) >> 16;
                const int size = ar * ar + ag * ag + ab * ab;
                // Too small to show: the pixel stays as it is, which keeps
                // flat areas flat.
                if (size >= 2) {
                    if (size > kLargeError) {
                        ar = ar * 4 / 5;
                        ag = ag * 4 / 5;
                        ab = ab * 4 / 5;
                    }
                    r = Clamp(r + ar);
                    g = Clamp(g + ag);
                    b = Clamp(b + ab);
                }
            }
            // Flat areas ask for the same colour pixel after pixel.
            const std::uint32_t asked = static_cast<std::uint32_t>(r << 16 | g << 8 | b);
            if (asked != query) {
                answer = nearest.answer(asked);
                query = asked;
            }
            rowIndexes[x] = static_cast<std::uint16_t>(answer >> 24);
            if (strength == 0)
                continue;
            er = r - static_cast<int>(answer >> 16 & 0xFF);
            eg = g - static_cast<int>(answer >> 8 & 0xFF);
            eb = b - static_cast<int>(answer & 0xFF);
            if (er * er + eg * eg + eb * eb > kLargeError) {
                er = er * 3 / 4;
                eg = eg * 3 / 4;
                eb = eb * 3 / 4;
            }
        }
        if (strength == 0)
            continue;
        // Shares of 7 ahead in the row, and of 1, 5 and 3 in the next row
        // ahead, under and behind the pixel.
        nextRow[at - kStep] = Error{behind.r + er * 3, behind.g + eg * 3, behind.b + eb * 3};
        behind = Error{below.r + er * 5, below.g + eg * 5, below.b + eb * 5};
        below = Error{er, eg, eb};
    }
    if (strength > 0) {
        // The cells under the row's last pixel and beyond it.
        const std::size_t end = kStep > 0 ? static_cast<std::size_t>(width) : 1;
        nextRow[end] = behind;
        nextRow[end + kStep] = below;
    }
    lastQuery = query;
    lastAnswer = answer;
}

} // namespace

void MapToPalette(const std::uint8_t* rgba, int width, int height, const std::vector<std::uint32_t>& palette,
                  float dithering, std::uint8_t* indexes)
{
    // Frames of a run share their colours: the cubes filled for one frame
    // serve the next that this thread maps to the same palette.
    thread_local std::vector<std::uint32_t> lastPalette;
    thread_local std::optional<NearestColour> lastNearest;
    if (!lastNearest) {
        lastNearest.emplace(palette);
        lastPalette = palette;
    } else if (lastPalette != palette) {
        lastNearest->assign(palette);
        lastPalette = palette;
    }
    const NearestColour& nearest = *lastNearest;
    int transparent = 0;
    for (std::size_t i = 0; i < palette.size(); ++i)
        if (palette[i] == 0) {
            transparent = static_cast<int>(i);
            break;
        }
    // Full error diffusion piles small errors up into noise that costs bytes
    // and lowers fidelity; light diffusion still breaks up the bands of a
    // gradient. The strength eases in and never passes 3/5 (measured on
    // photographic animations: the same or higher PSNR and smaller files
    // than stronger diffusion, down to the lowest quality level).
    // Errors are kept in sixteenths, the strength in 4096ths.
    const float eased = 1.0f - (1.0f - dithering) * (1.0f - dithering);
    const int strength = dithering > 0 ? static_cast<int>(std::lrint(eased * 0.6f * 4096.0f)) : 0;

    if (width <= 0 || height <= 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<Error> errors(2 * (w + 2));
    // A row's indexes are gathered as 16-bit values, which the compiler
    // knows cannot alias the errors (a byte store could, and would have
    // them reloaded after every pixel).
    std::vector<std::uint16_t> rowIndexes(w);
    Error* thisRow = errors.data();
    Error* nextRow = errors.data() + w + 2;
    // No colour asked yet: a query no colour matches.
    std::uint32_t lastQuery = ~std::uint32_t{0};
    std::uint32_t lastAnswer = 0;
    for (int y = 0; y < height; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * w;
        // Serpentine: every other row runs right to left, so that the error
        // does not drift one way.
        if (y % 2 == 0)
            MapRow<1>(rgba + rowStart * 4, width, nearest, transparent, strength, thisRow, nextRow,
                      rowIndexes.data(), lastQuery, lastAnswer);
        else
            MapRow<-1>(rgba + rowStart * 4, width, nearest, transparent, strength, thisRow, nextRow,
                       rowIndexes.data(), lastQuery, lastAnswer);
        std::copy(rowIndexes.begin(), rowIndexes.end(), indexes + rowStart);
        std::swap(thisRow, nextRow);
    }
}

} // namespace qf::imaging
