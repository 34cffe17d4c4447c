#include "imaging/video/yuv_to_rgba.h"

#include "imaging/vector_clones.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qf::imaging {

namespace {

// Rows a vertical filter may weigh.
constexpr int kMostTaps = 16;

// libswscale's rounding of a 16.16 colour coefficient to 16 bits.
int RoundToInt16(std::int64_t f)
{
    const int r = static_cast<int>((f + (1 << 15)) >> 16);
    const int kept = r < -0x7FFF ? 0x8000 : (r > 0x7FFF ? 0x7FFF : r);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(kept));
}

// Division rounded half away from zero.
std::int64_t RoundedDiv(std::int64_t a, std::int64_t b)
{
    return (a >= 0 ? a + (b >> 1) : a - (b >> 1)) / b;
}

// One chroma row interpolated to full width, 15-bit fixed point: the
// samples at either end through the filter as it stands, those between,
// where every even and every odd output has the same weights one input
// further along, as two runs the compiler vectorises.
QF_VECTOR_CLONES void WidenRow(const std::uint8_t* from, const Yuv420ToRgba::Filter& filter, int width,
                               std::int16_t* out, std::int32_t* even, std::int32_t* odd)
{
    const int n = filter.size;
    const auto widen = [&](int x) {
        const std::uint8_t* at = from + filter.first[x];
        const std::int16_t* weight = filter.weights.data() + static_cast<std::size_t>(x) * n;
        int sum = 0;
        for (int j = 0; j < n; ++j)
            sum += at[j] * weight[j];
        out[x] = static_cast<std::int16_t>(std::min(sum >> 7, (1 << 15) - 1));
    };
    const int lo = filter.regularFrom;
    const int hi = filter.regularTo;
    for (int x = 0; x < lo; ++x)
        widen(x);
    const int pairs = (hi - lo) / 2;
    if (pairs > 0) {
        const std::int16_t* evenWeights = filter.weights.data() + static_cast<std::size_t>(lo) * n;
        const std::int16_t* oddWeights = evenWeights + n;
        const std::uint8_t* evenFrom = from + filter.first[lo];
        const std::uint8_t* oddFrom = from + filter.first[lo + 1];
        for (int k = 0; k < pairs; ++k) {
            even[k] = 0;
            odd[k] = 0;
        }
        for (int j = 0; j < n; ++j) {
            const std::int32_t we = evenWeights[j];
            const std::int32_t wo = oddWeights[j];
            for (int k = 0; k < pairs; ++k) {
                even[k] += evenFrom[k + j] * we;
                odd[k] += oddFrom[k + j] * wo;
            }
        }
        std::int16_t* to = out + lo;
        for (int k = 0; k < pairs; ++k) {
            to[2 * k] = static_cast<std::int16_t>(std::min(even[k] >> 7, (1 << 15) - 1));
            to[2 * k + 1] = static_cast<std::int16_t>(std::min(odd[k] >> 7, (1 << 15) - 1));
        }
    }
    for (int x = lo + 2 * std::max(pairs, 0); x < width; ++x)
        widen(x);
}

} // namespace

Yuv420ToRgba::Filter Yuv420ToRgba::BicubicFilter(int from, int to, int align, int one)
{
    // Steps and positions in 16.16 fixed point; chroma samples sit at the
    // centre of each pair of pixels both in and out of libswscale's 4:2:0.
    const std::int64_t step = ((static_cast<std::int64_t>(from) << 16) + (to >> 1)) / to;
    const std::int64_t fone = std::int64_t{1} << 54;
    const std::int64_t b = 0;
    const auto c = static_cast<std::int64_t>(0.6 * (1 << 24));
    int size = std::max(std::min(1 + 4, from - 2), 1);
    std::vector<std::int64_t> taps(static_cast<std::size_t>(to) * size);
    Filter filter;
    filter.first.resize(to);
    std::int64_t centre = ((128 * step) >> 7) - ((128 * 0x10000LL) >> 7);
    for (int i = 0; i < to; ++i) {
        int xx = static_cast<int>((centre - (size - 2) * (std::int64_t{1} << 16)) / (1 << 17));
        filter.first[i] = xx;
        for (int j = 0; j < size; ++j) {
            const std::int64_t d = std::llabs(static_cast<std::int64_t>(xx) * (1 << 17) - centre) << 13;
            std::int64_t coeff = 0;
            if (d < std::int64_t{1} << 31) {
                const std::int64_t dd = (d * d) >> 30;
                const std::int64_t ddd = (dd * d) >> 30;
                if (d < std::int64_t{1} << 30)
                    coeff = (12 * (1 << 24) - 9 * b - 6 * c) * ddd + (-18 * (1 << 24) + 12 * b + 6 * c) * dd
                            + (6 * (1 << 24) - 2 * b) * (1 << 30);
                else
                    coeff = (-b - 6 * c) * ddd + (6 * b + 30 * c) * dd + (-12 * b - 48 * c) * d
                            + (8 * b + 24 * c) * (1 << 30);
            }
            taps[static_cast<std::size_t>(i) * size + j] = coeff;
            ++xx;
        }
        centre += 2 * step;
    }

    // Near-zero weights dropped at both ends, keeping the first samples
    // in order along the row.
    const double cutOff = 0.002 * static_cast<double>(fone);
    int kept = 0;
    for (int i = to - 1; i >= 0; --i) {
        std::int64_t* row = taps.data() + static_cast<std::size_t>(i) * size;
        std::int64_t dropped = 0;
        for (int j = 0; j < size; ++j) {
            dropped += std::llabs(row[0]);
            if (static_cast<double>(dropped) > cutOff)
                break;
            if (i < to - 1 && filter.first[i] >= filter.first[i + 1])
                break;
            std::copy(row + 1, row + size, row);
            row[size - 1] = 0;
            ++filter.first[i];
        }
        int least = size;
        dropped = 0;
        for (int j = size - 1; j > 0; --j) {
            dropped += std::llabs(row[j]);
            if (static_cast<double>(dropped) > cutOff)
                break;
            --least;
        }
        kept = std::max(kept, least);
    }
    if (kept == 1 && align == 2)
        align = 1;
    const int wide = (kept + align - 1) & ~(align - 1);
    std::vector<std::int64_t> padded(static_cast<std::size_t>(to) * wide);
    for (int i = 0; i < to; ++i)
        for (int j = 0; j < wide && j < size; ++j)
            padded[static_cast<std::size_t>(i) * wide + j] = taps[static_cast<std::size_t>(i) * size + j];
    size = wide;

    // Taps outside the plane folded onto its first and last samples.
    for (int i = 0; i < to; ++i) {
        std::int64_t* row = padded.data() + static_cast<std::size_t>(i) * size;
        int& first = filter.first[i];
        if (first < 0) {
            for (int j = 1; j < size; ++j) {
                const int left = std::max(j + first, 0);
                row[left] += row[j];
                row[j] = 0;
            }
            first = 0;
        }
        if (first + size > from) {
            const int shift = first + std::min(size - from, 0);
            std::int64_t beyond = 0;
            for (int j = size - 1; j >= 0; --j)
                if (first + j >= from) {
                    beyond += row[j];
                    row[j] = 0;
                }
            for (int j = size - 1; j >= 0; --j)
                row[j] = j < shift ? 0 : row[j - shift];
            first -= shift;
            row[from - 1 - first] += beyond;
        }
    }

    // Weights scaled to `one`, each one's rounding error carried to the next.
    filter.size = size;
    filter.weights.resize(static_cast<std::size_t>(to) * size);
    for (int i = 0; i < to; ++i) {
        const std::int64_t* row = padded.data() + static_cast<std::size_t>(i) * size;
        std::int64_t sum = 0;
        for (int j = 0; j < size; ++j)
            sum += row[j];
        sum = (sum + one / 2) / one;
        if (sum == 0)
            sum = 1;
        std::int64_t error = 0;
        for (int j = 0; j < size; ++j) {
            const std::int64_t v = row[j] + error;
            const int weight = static_cast<int>(RoundedDiv(v, sum));
            filter.weights[static_cast<std::size_t>(i) * size + j] = static_cast<std::int16_t>(weight);
            error = v - static_cast<std::int64_t>(weight) * sum;
        }
    }

    // The run about the middle where the weights repeat every two outputs.
    const int base = (to / 2) & ~1;
    const auto regular = [&](int x) {
        const int parity = (x - base) & 1;
        const int like = base + parity;
        return std::equal(filter.weights.begin() + static_cast<std::ptrdiff_t>(x) * size,
                          filter.weights.begin() + static_cast<std::ptrdiff_t>(x + 1) * size,
                          filter.weights.begin() + static_cast<std::ptrdiff_t>(like) * size)
               && filter.first[x] == filter.first[like] + (x - like) / 2;
    };
    if (to >= 2) {
        int lo = base;
        while (lo > 0 && regular(lo - 1))
            --lo;
        int hi = base;
        while (hi < to && regular(hi))
            ++hi;
        lo += (lo - base) & 1;
        filter.regularFrom = lo;
        filter.regularTo = lo + std::max(hi - lo, 0) / 2 * 2;
    }
    return filter;
}

bool Yuv420ToRgba::prepare(int width, int height, int colourSpace, bool fullRange)
{
#if !defined(__x86_64__)
    // The filters' padding, and so their rounding at the edges, follows
    // the processor libswscale runs on; only x86-64's is reproduced.
    (void)width, (void)height, (void)colourSpace, (void)fullRange;
    return false;
#else
    if (width == width_ && height == height_ && colourSpace == space_ && fullRange == full_)
        return down_.size > 0;
    width_ = width;
    height_ = height;
    space_ = colourSpace;
    full_ = fullRange;
    down_ = Filter();
    // Below 16 pixels the filters shrink to fit the plane and libswscale
    // takes other paths.
    if (width < 16 || height < 16)
        return false;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    across_ = BicubicFilter(chromaWidth, width, 4, 1 << 14);
    Filter down = BicubicFilter(chromaHeight, height, 2, 1 << 12);
    if (down.size < 3 || down.size > kMostTaps) // libswscale blends two rows another way
        return false;

    // The colour matrix, as libswscale scales it for full-range RGB.
    const int* table = sws_getCoefficients(colourSpace);
    std::int64_t redFromV = table[0];
    std::int64_t blueFromU = table[1];
    std::int64_t greenFromU = -table[2];
    std::int64_t greenFromV = -table[3];
    std::int64_t scale = 1 << 16;
    std::int64_t offset = 0;
    if (!fullRange) {
        scale = (scale * 255) / 219;
        offset = 16 << 16;
    } else {
        redFromV = (redFromV * 224) / 255;
        blueFromU = (blueFromU * 224) / 255;
        greenFromU = (greenFromU * 224) / 255;
        greenFromV = (greenFromV * 224) / 255;
    }
    yScale_ = RoundToInt16(scale * (1 << 13));
    yOffset_ = RoundToInt16(offset * (1 << 9));
    vToRed_ = RoundToInt16(redFromV * (1 << 13));
    vToGreen_ = RoundToInt16(greenFromV * (1 << 13));
    uToGreen_ = RoundToInt16(greenFromU * (1 << 13));
    uToBlue_ = RoundToInt16(blueFromU * (1 << 13));

    wideU_.resize(static_cast<std::size_t>(chromaHeight) * width);
    wideV_.resize(wideU_.size());
    evenSums_.resize(width);
    oddSums_.resize(width);
    down_ = std::move(down);
    return true;
#endif
}

namespace {

// Rows of chroma sums and luma taken through the colour matrix into RGBA.
struct Matrix {
    std::int32_t yOffset;
    std::int32_t yScale;
    std::uint32_t vToRed;
    std::uint32_t vToGreen;
    std::uint32_t uToGreen;
    std::uint32_t uToBlue;
};

// Output row y's chroma, 0 at grey in the 17-bit scale the matrix takes,
// from `taps` widened rows (taps fixed where Taps is), and its pixels.
template <int Taps>
QF_VECTOR_CLONES void MatrixRow(const std::int16_t* const* rowsU, const std::int16_t* const* rowsV,
                                const std::int32_t* weight, int taps, const Matrix& m,
                                const std::uint8_t* __restrict luma, int width, std::uint8_t* __restrict rgba)
{
    const int n = Taps > 0 ? Taps : taps;
    constexpr std::int32_t kTop = (1 << 30) - 1;
    const std::int16_t* __restrict u0 = rowsU[0];
    const std::int16_t* __restrict u1 = rowsU[1];
    const std::int16_t* __restrict u2 = rowsU[2];
    const std::int16_t* __restrict v0 = rowsV[0];
    const std::int16_t* __restrict v1 = rowsV[1];
    const std::int16_t* __restrict v2 = rowsV[2];
    const std::int32_t w0 = weight[0];
    const std::int32_t w1 = weight[1];
    const std::int32_t w2 = weight[2];
    const std::int16_t* __restrict u3 = Taps == 4 ? rowsU[3] : rowsU[0];
    const std::int16_t* __restrict v3 = Taps == 4 ? rowsV[3] : rowsV[0];
    const std::int32_t w3 = Taps == 4 ? weight[3] : 0;
    for (int x = 0; x < width; ++x) {
        std::int32_t u = (1 << 9) - (128 << 19) + u0[x] * w0 + u1[x] * w1 + u2[x] * w2;
        std::int32_t v = (1 << 9) - (128 << 19) + v0[x] * w0 + v1[x] * w1 + v2[x] * w2;
        if constexpr (Taps == 4) {
            u += u3[x] * w3;
            v += v3[x] * w3;
        } else {
            for (int j = 3; j < n; ++j) {
                u += rowsU[j][x] * weight[j];
                v += rowsV[j][x] * weight[j];
            }
        }
        u >>= 10;
        v >>= 10;
        // Sums in 32 bits that wrap as libswscale's do, then clamped to 30
        // bits, of which the top 8 are kept.
        const auto base = static_cast<std::uint32_t>(((luma[x] << 9) - m.yOffset) * m.yScale + (1 << 21));
        const auto uu = static_cast<std::uint32_t>(u);
        const auto vv = static_cast<std::uint32_t>(v);
        const auto red = static_cast<std::int32_t>(base + vv * m.vToRed);
        const auto green = static_cast<std::int32_t>(base + vv * m.vToGreen + uu * m.uToGreen);
        const auto blue = static_cast<std::int32_t>(base + uu * m.uToBlue);
        const std::uint32_t pixel = static_cast<std::uint32_t>(std::clamp(red, 0, kTop) >> 22)
                                    | static_cast<std::uint32_t>(std::clamp(green, 0, kTop) >> 22) << 8
                                    | static_cast<std::uint32_t>(std::clamp(blue, 0, kTop) >> 22) << 16
                                    | 0xFF000000u;
        std::memcpy(rgba + 4 * static_cast<std::size_t>(x), &pixel, 4);
    }
}

} // namespace

void Yuv420ToRgba::matrixRow(int y, const std::uint8_t* luma, std::uint8_t* out)
{
    const int taps = down_.size;
    const std::int16_t* weights = down_.weights.data() + static_cast<std::size_t>(y) * taps;
    const std::int16_t* rowsU[kMostTaps];
    const std::int16_t* rowsV[kMostTaps];
    std::int32_t weight[kMostTaps];
    for (int j = 0; j < taps; ++j) {
        const std::size_t at = static_cast<std::size_t>(down_.first[y] + j) * width_;
        rowsU[j] = wideU_.data() + at;
        rowsV[j] = wideV_.data() + at;
        weight[j] = weights[j];
    }
    const Matrix m{yOffset_,
                   yScale_,
                   static_cast<std::uint32_t>(vToRed_),
                   static_cast<std::uint32_t>(vToGreen_),
                   static_cast<std::uint32_t>(uToGreen_),
                   static_cast<std::uint32_t>(uToBlue_)};
    if (taps == 4)
        MatrixRow<4>(rowsU, rowsV, weight, taps, m, luma, width_, out);
    else
        MatrixRow<0>(rowsU, rowsV, weight, taps, m, luma, width_, out);
}

void Yuv420ToRgba::convert(const std::uint8_t* const planes[3], const int strides[3], std::uint8_t* rgba)
{
    const int width = width_;
    const int chromaHeight = (height_ + 1) / 2;
    for (int row = 0; row < chromaHeight; ++row) {
        const std::size_t at = static_cast<std::size_t>(row) * width;
        const std::uint8_t* u = planes[1] + static_cast<std::ptrdiff_t>(row) * strides[1];
        const std::uint8_t* v = planes[2] + static_cast<std::ptrdiff_t>(row) * strides[2];
        WidenRow(u, across_, width, wideU_.data() + at, evenSums_.data(), oddSums_.data());
        WidenRow(v, across_, width, wideV_.data() + at, evenSums_.data(), oddSums_.data());
    }
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* luma = planes[0] + static_cast<std::ptrdiff_t>(y) * strides[0];
        std::uint8_t* out = rgba + static_cast<std::size_t>(y) * width * 4;
        matrixRow(y, luma, out);
    }
}

} // namespace qf::imaging
