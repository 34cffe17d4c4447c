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
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The vector paths are left out under the sanitizers, as QF_PIXEL_LOOP's
// are: the sanitizer runs then check the plain paths.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__)                               \
    && !defined(__SANITIZE_THREAD__)
#include <immintrin.h>
#define QF_MIXING_AVX2 1
#endif

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
void FlattenRowsPlain(EngineState& s, const std::vector<std::uint8_t>& mask, int radius)
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

// The column pass over the columns [x0, x1): every paper pixel is averaged
// over the paper run of its column, at most `radius` pixels below and above.
// The average of paper pixels has channel 0 of at least 1, so no pixel
// changes between ink and paper here, and the runs stay where they were.
// Each column keeps running sums of the run below the pixel (already
// smoothed) and above it (not yet), which slide up a row at a time instead
// of being summed afresh: the same sums as SmoothPixel's, so the same bytes.
void SmoothColumnRange(ColourPlane& plane, int radius, int x0, int x1)
{
    const int height = plane.height();
    const std::size_t w = static_cast<std::size_t>(x1 - x0);
    const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(plane.width()) * 3;
    std::vector<int> below(w * 3, 0); // sums of the rows [y - belowCount, y - 1]
    std::vector<int> belowCount(w, 0);
    std::vector<int> above(w * 3, 0); // sums of the rows [y + 1, aboveEnd]
    std::vector<int> aboveEnd(w, 0);
    std::vector<std::uint8_t> blocked(w, 0); // the row after aboveEnd is ink or off the plane
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = plane.data() + plane.index(0, x0, y);
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

#ifdef QF_MIXING_AVX2
// Sixteen pixels of three channels, 48 bytes, and their channels apart as
// 16-bit values: the byte shuffles that take channel c from each 16-byte
// third (kSplit) and put it back (kJoin).
struct ChannelShuffles {
    std::uint8_t split[3][3][16]; // [channel][third][byte]
    std::uint8_t join[3][3][16];  // [third][channel][byte]
};

constexpr ChannelShuffles kChannelShuffles = [] {
    ChannelShuffles t{};
    for (int c = 0; c < 3; ++c) {
        for (int third = 0; third < 3; ++third) {
            for (int i = 0; i < 16; ++i) {
                const int from = 3 * i + c - 16 * third; // pixel i's channel c, within this third
                t.split[c][third][i] = static_cast<std::uint8_t>(from >= 0 && from < 16 ? from : 0x80);
                const int at = 16 * third + i; // byte i of this third holds
                t.join[third][c][i] = static_cast<std::uint8_t>(at % 3 == c ? at / 3 : 0x80);
            }
        }
    }
    return t;
}();

__attribute__((target("avx2"), always_inline)) inline __m128i Shuffle(__m128i v, const std::uint8_t* mask)
{
    return _mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)));
}

// The channels of the 16 pixels at p, widened to 16 bits.
__attribute__((target("avx2"), always_inline)) inline void Split(const std::uint8_t* p, __m256i out[3])
{
    const __m128i part[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
    for (int c = 0; c < 3; ++c) {
        const auto& m = kChannelShuffles.split[c];
        out[c] = _mm256_cvtepu8_epi16(_mm_or_si128(
            _mm_or_si128(Shuffle(part[0], m[0]), Shuffle(part[1], m[1])), Shuffle(part[2], m[2])));
    }
}

// The 16 pixels at p from their channels (each value at most 255).
__attribute__((target("avx2"), always_inline)) inline void Join(const __m256i in[3], std::uint8_t* p)
{
    __m128i bytes[3];
    for (int c = 0; c < 3; ++c) {
        bytes[c] = _mm_packus_epi16(_mm256_castsi256_si128(in[c]), _mm256_extracti128_si256(in[c], 1));
    }
    for (int third = 0; third < 3; ++third) {
        const auto& m = kChannelShuffles.join[third];
        const __m128i v = _mm_or_si128(_mm_or_si128(Shuffle(bytes[0], m[0]), Shuffle(bytes[1], m[1])),
                                       Shuffle(bytes[2], m[2]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * third), v);
    }
}

// The widest column radius SmoothColumnsAvx2 takes: a run of up to 15
// pixels, whose sums (at most 255 * 15) divide exactly by one 16-bit
// multiply, sum * ceil(2^16 / n) >> 16, as sum * (n - 1) < 2^16.
constexpr int kMaxVectorColumnRadius = 7;

// ceil(2^16 / n) for run lengths n of 2 to 15, low and high bytes.
constexpr std::array<std::array<std::uint8_t, 16>, 2> kColumnReciprocals = [] {
    std::array<std::array<std::uint8_t, 16>, 2> t{};
    for (unsigned n = 2; n < 16; ++n) {
        const unsigned m = (65536u + n - 1) / n;
        t[0][n] = static_cast<std::uint8_t>(m & 0xFF);
        t[1][n] = static_cast<std::uint8_t>(m >> 8);
    }
    return t;
}();

// SmoothColumnRange for the columns [x0, x0 + 16), the 16 columns side by
// side in 16-bit lanes, so that ink and paper choose with masks. A first
// pass from the top row down notes, for each pixel, the sums and the length
// of the paper run above it (the rows y + 1 to y + radius up to the first
// ink); the pass from the bottom up then averages each pixel with the run
// below it, already smoothed, exactly as SmoothColumnRange does. rows holds
// 7 vectors a row: the pixel's channels (smoothed once the upward pass has
// been there), the sums above it and their count.
__attribute__((target("avx2"))) void SmoothColumnStrip(ColourPlane& plane, int radius, int x0, __m256i* rows)
{
    const int height = plane.height();
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i r = _mm256_set1_epi16(static_cast<std::int16_t>(radius));
    auto at = [&](int y) { return plane.data() + plane.index(0, x0, y); };
    auto row = [&](int y) { return rows + static_cast<std::ptrdiff_t>(y) * 7; };

    // Downward: above[y] is the run from row y + 1 up, at most radius rows.
    __m256i above[3] = {zero, zero, zero};
    __m256i count = zero;
    for (int y = height - 1; y >= 0; --y) {
        __m256i* v = row(y);
        Split(at(y), v);
        v[3] = above[0];
        v[4] = above[1];
        v[5] = above[2];
        v[6] = count;
        const __m256i paper = _mm256_xor_si256(_mm256_cmpeq_epi16(v[0], zero), _mm256_set1_epi16(-1));
        const __m256i full = _mm256_cmpeq_epi16(count, r); // the row y + radius leaves the run
        const __m256i* top = y + radius < height ? row(y + radius) : v;
        for (int c = 0; c < 3; ++c) {
            const __m256i leaving = _mm256_and_si256(full, top[c]);
            above[c] = _mm256_and_si256(paper, _mm256_sub_epi16(_mm256_add_epi16(above[c], v[c]), leaving));
        }
        count = _mm256_and_si256(paper, _mm256_min_epi16(_mm256_add_epi16(count, one), r));
    }

    // Upward: each paper pixel becomes the average of the runs below and
    // above it and itself; ink stays as it is.
    const __m256i tableLo = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kColumnReciprocals[0].data())));
    const __m256i tableHi = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kColumnReciprocals[1].data())));
    const __m256i highByteOff = _mm256_set1_epi16(static_cast<std::int16_t>(0x8000));
    __m256i below[3] = {zero, zero, zero};
    count = zero;
    for (int y = 0; y < height; ++y) {
        __m256i* v = row(y);
        const __m256i ink = _mm256_cmpeq_epi16(v[0], zero);
        const __m256i n = _mm256_add_epi16(_mm256_add_epi16(count, v[6]), one);
        const __m256i index = _mm256_or_si256(n, highByteOff);
        const __m256i m = _mm256_or_si256(_mm256_shuffle_epi8(tableLo, index),
                                          _mm256_slli_epi16(_mm256_shuffle_epi8(tableHi, index), 8));
        const __m256i keep = _mm256_or_si256(ink, _mm256_cmpeq_epi16(n, one));
        const __m256i full = _mm256_cmpeq_epi16(count, r); // the row y - radius leaves the run
        const __m256i* bottom = y >= radius ? row(y - radius) : v;
        for (int c = 0; c < 3; ++c) {
            const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(v[c], below[c]), v[3 + c]);
            v[c] = _mm256_blendv_epi8(_mm256_mulhi_epu16(sum, m), v[c], keep);
            const __m256i leaving = _mm256_and_si256(full, bottom[c]);
            below[c] = _mm256_andnot_si256(ink, _mm256_sub_epi16(_mm256_add_epi16(below[c], v[c]), leaving));
        }
        count = _mm256_andnot_si256(ink, _mm256_min_epi16(_mm256_add_epi16(count, one), r));
        Join(v, at(y));
    }
}
// Row sums of the three channels packed into one 64-bit word, 21 bits each:
// a row of up to kMaxPackedWidth pixels sums to less than 2^21 in every
// channel, so the fields never carry into one another, and the difference
// of two such prefix sums is the packed sum of the pixels between them.
constexpr int kMaxPackedWidth = ((1 << 21) - 1) / 255;
constexpr std::uint64_t kField = (1u << 21) - 1;

// The packed sums at the indexes of the lanes 4 * half to 4 * half + 3.
__attribute__((target("avx2"), always_inline)) inline __m256i GatherSums(const std::uint64_t* sums,
                                                                         __m256i index, int half)
{
    const __m128i i = half == 0 ? _mm256_castsi256_si128(index) : _mm256_extracti128_si256(index, 1);
    return _mm256_i32gather_epi64(reinterpret_cast<const long long*>(sums), i, 8);
}

// All ones in the lanes of the 8 pixels at mask that are ink (0).
__attribute__((target("avx2"), always_inline)) inline __m256i InkLanes(const std::uint8_t* mask)
{
    std::uint64_t bytes;
    std::memcpy(&bytes, mask, 8);
    return _mm256_cmpeq_epi32(_mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(bytes))),
                              _mm256_setzero_si256());
}

// Each lane the largest of itself and the lanes before it (lane 0 first),
// for values of at least 0.
__attribute__((target("avx2"), always_inline)) inline __m256i RunningMaxUp(__m256i v)
{
    __m256i low = _mm256_permute2x128_si256(v, v, 0x08); // lanes 0-3 moved up to 4-7
    v = _mm256_max_epi32(v, _mm256_alignr_epi8(v, low, 12));
    low = _mm256_permute2x128_si256(v, v, 0x08);
    v = _mm256_max_epi32(v, _mm256_alignr_epi8(v, low, 8));
    return _mm256_max_epi32(v, _mm256_permute2x128_si256(v, v, 0x08));
}

// Each lane the largest of itself and the lanes after it.
__attribute__((target("avx2"), always_inline)) inline __m256i RunningMaxDown(__m256i v)
{
    __m256i high = _mm256_permute2x128_si256(v, v, 0x81); // lanes 4-7 moved down to 0-3
    v = _mm256_max_epi32(v, _mm256_alignr_epi8(high, v, 4));
    high = _mm256_permute2x128_si256(v, v, 0x81);
    v = _mm256_max_epi32(v, _mm256_alignr_epi8(high, v, 8));
    return _mm256_max_epi32(v, _mm256_permute2x128_si256(v, v, 0x81));
}

// FlattenRows for rows of up to kMaxPackedWidth pixels, 8 pixels at once.
// Each pixel's run is taken from the ink of the mask alone and every pixel
// averaged as if no averaged pixel had channel 0 of 0; where one has, the
// pixels after it are done again with the run ending there on the left.
// The sums of a run are the difference of two packed prefix sums, found by
// gathering. The average of a channel is (sum + 1/2) times the reciprocal
// of the length n, in single precision, truncated. That is exact: sum + 1/2
// is exact, (sum + 1/2) / n lies at least 1/2n inside the integers around
// sum / n, and the two roundings move a value below 256 by less than
// 2^-15, less than 1/2n for every n up to kMaxPackedWidth.
__attribute__((target("avx2,bmi2"))) void FlattenRowsAvx2(EngineState& s, const std::uint8_t* mask,
                                                          int radius)
{
    const int width = s.SketchOverColor.width();
    const int height = s.SketchOverColor.height();
    if (width == 0) {
        return;
    }
    radius = std::clamp(radius, 0, width);
    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<std::uint64_t> sums(w + 1); // packed prefix sums of the source row
    std::vector<int> afterInk(w + 9, 0);    // 1 + the last ink of the mask left of x, or 0
    std::vector<int> nextInk(w + 8, 0);     // the first ink of the mask at or right of x, or width
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i widthV = _mm256_set1_epi32(width);
    const __m256i radiusV = _mm256_set1_epi32(radius);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256 half = _mm256_set1_ps(0.5F);
    const __m256i field = _mm256_set1_epi64x(static_cast<long long>(kField));
    // The three bytes of each 32-bit pixel, packed together in each half.
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4,
                                          5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);

    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = s.SketchOverColor.data() + s.SketchOverColor.index(0, 0, y);
        const std::uint8_t* src = s.SourceCopy.data() + s.SourceCopy.index(0, 0, y);
        const std::uint8_t* ink = mask + static_cast<std::size_t>(y) * w;

        // The packed sums: the three bytes of a pixel spread to their fields.
        constexpr std::uint64_t kSpread = 0xFF | std::uint64_t{0xFF} << 21 | std::uint64_t{0xFF} << 42;
        std::uint64_t total = 0;
        sums[0] = 0;
        for (std::size_t i = 0; i + 1 < w; ++i) {
            std::uint32_t bytes; // the pixel and the next pixel's channel 0
            std::memcpy(&bytes, src + 3 * i, 4);
            total += _pdep_u64(bytes, kSpread);
            sums[i + 1] = total;
        }
        total += src[3 * w - 3] | std::uint64_t{src[3 * w - 2]} << 21 | std::uint64_t{src[3 * w - 1]} << 42;
        sums[w] = total;

        // The ink of the mask around each pixel, 8 pixels at once: afterInk
        // from a running maximum of x + 1 over the ink left of x, nextInk
        // from one of width - x over the ink at and right of x.
        __m256i carry = zero;
        for (int x = 0; x < width; x += 8) {
            const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
            __m256i v = _mm256_and_si256(InkLanes(ink + x), _mm256_add_epi32(at, one));
            v = RunningMaxUp(v);
            v = _mm256_max_epi32(v, carry);
            carry = _mm256_permutevar8x32_epi32(v, _mm256_set1_epi32(7));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(&afterInk[static_cast<std::size_t>(x) + 1]), v);
        }
        carry = zero;
        for (int x = (width - 1) / 8 * 8; x >= 0; x -= 8) {
            const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
            __m256i v = _mm256_and_si256(_mm256_and_si256(InkLanes(ink + x), _mm256_cmpgt_epi32(widthV, at)),
                                         _mm256_sub_epi32(widthV, at));
            v = RunningMaxDown(v);
            v = _mm256_max_epi32(v, carry);
            carry = _mm256_permutevar8x32_epi32(v, zero);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(&nextInk[static_cast<std::size_t>(x)]),
                                _mm256_sub_epi32(widthV, v));
        }

        int zeroAt = -1; // the last averaged pixel whose channel 0 came out 0
        for (int x = 0; x < width;) {
            const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
            const __m256i after =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&afterInk[static_cast<std::size_t>(x)]));
            const __m256i nxt =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&nextInk[static_cast<std::size_t>(x)]));
            const __m256i left =
                _mm256_min_epi32(_mm256_max_epi32(_mm256_max_epi32(after, _mm256_sub_epi32(at, radiusV)),
                                                  _mm256_set1_epi32(zeroAt + 1)),
                                 widthV);
            const __m256i end = _mm256_max_epi32(
                _mm256_min_epi32(nxt, _mm256_add_epi32(at, _mm256_add_epi32(radiusV, one))), zero);
            const __m256i n = _mm256_max_epi32(_mm256_sub_epi32(end, left), one);
            const std::uint64_t* base = sums.data();
            const __m256i sumLo = _mm256_sub_epi64(GatherSums(base, end, 0), GatherSums(base, left, 0));
            const __m256i sumHi = _mm256_sub_epi64(GatherSums(base, end, 1), GatherSums(base, left, 1));
            const __m256 reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0F), _mm256_cvtepi32_ps(n));
            const __m256i paper = _mm256_andnot_si256(InkLanes(ink + x), _mm256_cmpgt_epi32(widthV, at));
            __m256i mean[3];
            for (int c = 0; c < 3; ++c) {
                const __m256i lo = _mm256_and_si256(_mm256_srli_epi64(sumLo, 21 * c), field);
                const __m256i hi = _mm256_and_si256(_mm256_srli_epi64(sumHi, 21 * c), field);
                // The low halves of the 64-bit lanes, pixels in order.
                const __m256i sum = _mm256_permute4x64_epi64(
                    _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(lo), _mm256_castsi256_ps(hi),
                                                          _MM_SHUFFLE(2, 0, 2, 0))),
                    _MM_SHUFFLE(3, 1, 2, 0));
                mean[c] = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_mul_ps(
                                               _mm256_add_ps(_mm256_cvtepi32_ps(sum), half), reciprocal)),
                                           paper);
            }
            const __m256i bgr =
                _mm256_shuffle_epi8(_mm256_or_si256(_mm256_or_si256(mean[0], _mm256_slli_epi32(mean[1], 8)),
                                                    _mm256_slli_epi32(mean[2], 16)),
                                    pack);
            std::uint8_t* px = row + 3 * static_cast<std::size_t>(x);
            const int count = std::min(8, width - x);
            if (x + 10 <= width) {
                // The four bytes after each half's twelve belong to pixels
                // of this row that are written later.
                _mm_storeu_si128(reinterpret_cast<__m128i*>(px), _mm256_castsi256_si128(bgr));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 12), _mm256_extracti128_si256(bgr, 1));
            } else {
                alignas(32) std::uint8_t bytes[32];
                _mm256_store_si256(reinterpret_cast<__m256i*>(bytes), bgr);
                std::memcpy(px, bytes, static_cast<std::size_t>(std::min(count, 4)) * 3);
                if (count > 4) {
                    std::memcpy(px + 12, bytes + 16, static_cast<std::size_t>(count - 4) * 3);
                }
            }
            const unsigned zeros = static_cast<unsigned>(_mm256_movemask_ps(
                _mm256_castsi256_ps(_mm256_and_si256(paper, _mm256_cmpeq_epi32(mean[0], zero)))));
            if (zeros != 0) {
                // The pixels after it end their runs there: done again.
                zeroAt = x + std::countr_zero(zeros);
                x = zeroAt + 1;
            } else {
                x += 8;
            }
        }
    }
}

#endif

// The mask holds 8 bytes more than the plane has pixels, which the vector
// path reads past the last row.
void FlattenRows(EngineState& s, const std::vector<std::uint8_t>& mask, int radius)
{
#ifdef QF_MIXING_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    if (avx2 && s.SketchOverColor.width() <= kMaxPackedWidth) {
        FlattenRowsAvx2(s, mask.data(), radius);
        return;
    }
#endif
    FlattenRowsPlain(s, mask, radius);
}

void SmoothColumns(ColourPlane& plane, int radius)
{
    const int width = plane.width();
    int done = 0;
#ifdef QF_MIXING_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && radius <= kMaxVectorColumnRadius && width >= 16) {
        struct alignas(32) Lanes {
            std::int16_t lane[16];
        };
        thread_local std::vector<Lanes> rows; // written before it is read, row by row
        rows.resize(static_cast<std::size_t>(plane.height()) * 7);
        for (; done + 16 <= width; done += 16) {
            SmoothColumnStrip(plane, radius, done, reinterpret_cast<__m256i*>(rows.data()));
        }
    }
#endif
    if (done < width) {
        SmoothColumnRange(plane, radius, done, width);
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
    std::uint8_t* key = s.GrayEdgeKey.data();
    std::copy_n(grey4, pixels, key);

    // Edge votes between grey levels.
    if (set.ColorDiffLimit >= 0) {
        CountLevelVotes(s.GrayEdgeKey, s.EdgeCount, set.ColorDiffLimit);
    } else {
        std::uint8_t* keyColour = s.Gray4Color.data();
        for (std::size_t p = 0; p < pixels; ++p) {
            keyColour[p * 3] = keyColour[p * 3 + 1] = keyColour[p * 3 + 2] = grey4[p];
        }
        CountEdgeVotes(s.Gray4Color, s.GrayEdgeKey, s.EdgeCount, set.ColorDiffLimit);
    }

    // The ink mask; lone ink pixels become paper. Kept from frame to frame:
    // every byte is written below, and a buffer this size made afresh would
    // be zero-filled and faulted in for every frame.
    thread_local std::vector<std::uint8_t> mask;
    mask.resize(pixels + 8);
    std::fill_n(mask.data() + pixels, 8, std::uint8_t{0});
    const std::uint8_t* votes = s.EdgeCount.data();
    const int voteMin = set.EdgeVoteMin;
    const int darkLimit = set.DarkLimit;
    // Through a pointer of its own: a byte written through the vector might,
    // for all the compiler knows, change the vector's own pointer.
    std::uint8_t* const maskBytes = mask.data();
    for (std::size_t p = 0; p < pixels; ++p) {
        const int ink = static_cast<int>(votes[p] >= voteMin) | static_cast<int>(key[p] < darkLimit);
        maskBytes[p] = static_cast<std::uint8_t>(ink - 1); // 0 for ink, 255 for paper
    }
    {
        // Whitening needs every neighbour white, so it never changes the
        // outcome for another pixel: each row is decided and written in turn.
        std::vector<std::uint8_t> lone(static_cast<std::size_t>(width));
        for (int y = 1; y + 1 < height; ++y) {
            std::uint8_t* row = maskBytes + static_cast<std::size_t>(y) * width;
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
