#pragma once

#include <cstdint>
#include <vector>

namespace qf::imaging {

// Converts 8-bit 4:2:0 pictures to RGBA at their own size, giving the very
// bytes libswscale gives with bicubic filters, accurate rounding and the
// colour planes interpolated to full width (the clip reader's settings):
// the same filter taps, worked out the same way, the same fixed-point
// sums, only arranged in rows the compiler can vectorise. A clip decoded
// through either looks the same to the last bit; this one costs a fraction.
// The filters and fixed-point arithmetic are libswscale's (FFmpeg,
// LGPL-2.1-or-later), carried over from its source.
class Yuv420ToRgba {
public:
    // Makes ready for pictures of width x height whose colours were coded
    // with colourSpace (an AVColorSpace) in full or limited range. False
    // where these pictures are not ones it reproduces exactly (too small
    // for its filters, or a processor whose libswscale lays filters out
    // otherwise); convert then must not be called.
    bool prepare(int width, int height, int colourSpace, bool fullRange);

    // Writes the picture whose planes (Y, U, V) and strides are given as
    // width * height RGBA pixels, top row first, alpha 255.
    void convert(const std::uint8_t* const planes[3], const int strides[3], std::uint8_t* rgba);

    // One direction's interpolation from a chroma plane to full size: for
    // each output sample, the first input sample and `size` weights in
    // fixed point (the sum is 1 << 14 horizontally, 1 << 12 vertically).
    struct Filter {
        int size = 0;
        std::vector<int> first;
        std::vector<std::int16_t> weights;
        // Outputs [regularFrom, regularTo), an even count, where each has
        // the weights of the one two before it, one input further along.
        int regularFrom = 0;
        int regularTo = 0;
    };
    // The bicubic filter libswscale builds to take `from` chroma samples to
    // `to` samples, centred alike, with taps padded to a multiple of
    // `align` and weights summing to `one`.
    static Filter BicubicFilter(int from, int to, int align, int one);

private:
    // Output row y: its chroma from the widened rows above and below,
    // then the colour matrix.
    void matrixRow(int y, const std::uint8_t* luma, std::uint8_t* out);

    int width_ = 0;
    int height_ = 0;
    int space_ = -1;
    bool full_ = false;
    Filter across_;
    Filter down_;
    int yOffset_ = 0;
    int yScale_ = 0;
    int vToRed_ = 0;
    int vToGreen_ = 0;
    int uToGreen_ = 0;
    int uToBlue_ = 0;
    // The chroma rows interpolated to full width, U then V, 15-bit fixed point.
    std::vector<std::int16_t> wideU_;
    std::vector<std::int16_t> wideV_;
    std::vector<std::int32_t> evenSums_;
    std::vector<std::int32_t> oddSums_;
};

} // namespace qf::imaging
