// A clip's 4:2:0 pictures turned into RGBA by the reader's own converter
// come out as libswscale makes them at the reader's settings (bicubic,
// accurate rounding, chroma at full width), byte for byte, whatever the
// size, range and colour matrix: grainy film, and colours at the extremes
// where the fixed-point sums clamp.
#include "imaging/video/yuv_to_rgba.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qf::test {
namespace {

struct Picture {
    int width, height;
    std::vector<std::uint8_t> planes[3];
    int strides[3];
};

// Grain everywhere; across the top left, the brightest and darkest luma
// under fully saturated chroma, alternating every few samples.
Picture Grainy(int width, int height)
{
    Picture p{width, height, {}, {width + 3, (width + 1) / 2 + 5, (width + 1) / 2 + 5}};
    std::uint32_t seed = 12345;
    for (int i = 0; i < 3; ++i) {
        const int rows = i == 0 ? height : (height + 1) / 2;
        const int cols = i == 0 ? width : (width + 1) / 2;
        p.planes[i].resize(static_cast<std::size_t>(p.strides[i]) * rows);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                seed = seed * 1103515245u + 12345u;
                std::uint8_t value = static_cast<std::uint8_t>(seed >> 16);
                if (x < cols / 2 && y < rows / 2)
                    value = ((x / 3 + y / 2 + i) % 2) != 0 ? 255 : 0;
                p.planes[i][static_cast<std::size_t>(y) * p.strides[i] + x] = value;
            }
    }
    return p;
}

std::vector<std::uint8_t> BySwscale(const Picture& p, int space, bool full)
{
    SwsContext* scaler =
        sws_getContext(p.width, p.height, AV_PIX_FMT_YUV420P, p.width, p.height, AV_PIX_FMT_RGBA,
                       SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(scaler, sws_getCoefficients(space), full ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(p.width) * p.height * 4);
    const std::uint8_t* const in[4] = {p.planes[0].data(), p.planes[1].data(), p.planes[2].data(), nullptr};
    const int inStrides[4] = {p.strides[0], p.strides[1], p.strides[2], 0};
    std::uint8_t* const out[4] = {rgba.data(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {p.width * 4, 0, 0, 0};
    sws_scale(scaler, in, inStrides, 0, p.height, out, outStrides);
    sws_freeContext(scaler);
    return rgba;
}

struct Case {
    int width, height;
    int space; // AVColorSpace
    bool full;
};

class OwnConversion : public ::testing::TestWithParam<Case> {};

TEST_P(OwnConversion, GivesLibswscalesBytes)
{
    const Case& c = GetParam();
    const Picture p = Grainy(c.width, c.height);
    imaging::Yuv420ToRgba own;
    ASSERT_TRUE(own.prepare(c.width, c.height, c.space, c.full));
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(c.width) * c.height * 4);
    const std::uint8_t* const planes[3] = {p.planes[0].data(), p.planes[1].data(), p.planes[2].data()};
    own.convert(planes, p.strides, rgba.data());
    const std::vector<std::uint8_t> expected = BySwscale(p, c.space, c.full);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < rgba.size(); ++i)
        differ += rgba[i] != expected[i];
    EXPECT_EQ(differ, 0u) << "of " << rgba.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, OwnConversion,
    ::testing::Values(Case{640, 360, AVCOL_SPC_BT470BG, false}, Case{641, 359, AVCOL_SPC_BT470BG, false},
                      Case{1001, 177, AVCOL_SPC_BT709, false}, Case{1280, 720, AVCOL_SPC_BT709, true},
                      Case{33, 19, AVCOL_SPC_BT2020_NCL, false}, Case{16, 17, AVCOL_SPC_SMPTE240M, true},
                      Case{31, 400, AVCOL_SPC_BT470BG, true}));

} // namespace
} // namespace qf::test
