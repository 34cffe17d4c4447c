#include "imaging/video/hdr_to_sdr.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace qf::imaging {

namespace {

constexpr int kCodes = 65536;
// Reference white, and the peak of the display HLG is shown on, in cd/m².
constexpr double kWhite = 203.0;
constexpr double kHlgPeak = 1000.0;
constexpr double kHlgGamma = 1.2;
// Light up to kKnee of white is kept as it is; above it, it approaches
// white without reaching it.
constexpr float kKnee = 0.8f;

// PQ (SMPTE ST 2084): signal to display light, white at 1.
double PqToLight(double signal)
{
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(signal, 1.0 / m2);
    return std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1.0 / m1) * 10000.0 / kWhite;
}

// HLG (ARIB STD-B67): signal to scene light, 0 to 1.
double HlgToScene(double signal)
{
    constexpr double a = 0.17883277, b = 1 - 4 * a, c = 0.55991073;
    return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

// A light of 0 to 1 (more counts as 1) as an index of kCodes steps.
inline std::size_t Code(float light)
{
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): light is never negative; lrint is a call per channel
    return static_cast<std::size_t>(std::min(light, 1.0f) * (kCodes - 1) + 0.5f);
}

struct Tables {
    std::vector<float> light;          // a 16-bit signal's light
    std::vector<std::uint8_t> encoded; // light 0 to 1 in 65535 steps, as an sRGB code
    std::vector<float> hlgGain;        // HLG: scene luminance 0 to 1 in 65535 steps, raised by gamma - 1
};

const Tables& TablesFor(int transfer)
{
    static const auto make = [](bool pq) {
        Tables t;
        t.light.resize(kCodes);
        for (int i = 0; i < kCodes; ++i) {
            const double signal = i / double(kCodes - 1);
            t.light[i] = static_cast<float>(pq ? PqToLight(signal) : HlgToScene(signal));
        }
        t.encoded.resize(kCodes);
        for (int i = 0; i < kCodes; ++i) {
            const double v = i / double(kCodes - 1);
            const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
            t.encoded[i] = static_cast<std::uint8_t>(std::lround(s * 255));
        }
        if (!pq) {
            t.hlgGain.resize(kCodes);
            for (int i = 0; i < kCodes; ++i)
                t.hlgGain[i] =
                    static_cast<float>(kHlgPeak / kWhite * std::pow(i / double(kCodes - 1), kHlgGamma - 1));
        }
        return t;
    };
    static const Tables pq = make(true);
    static const Tables hlg = make(false);
    return transfer == AVCOL_TRC_SMPTE2084 ? pq : hlg;
}

} // namespace

bool IsHdrTransfer(int transfer)
{
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

void HdrToSdr(int transfer, const std::uint16_t* const planes[4], std::size_t pixels, std::uint8_t* rgba)
{
    const Tables& t = TablesFor(transfer);
    const bool hlg = transfer == AVCOL_TRC_ARIB_STD_B67;
    // BT.2020 to BT.709 primaries, in linear light (BT.2087).
    static constexpr std::array<float, 9> kTo709{1.6605f,  -0.5876f, -0.0728f, -0.1246f, 1.1329f,
                                                 -0.0083f, -0.0182f, -0.1006f, 1.1187f};
    for (std::size_t i = 0; i < pixels; ++i) {
        float r = t.light[planes[0][i]], g = t.light[planes[1][i]], b = t.light[planes[2][i]];
        if (hlg) { // the display's light: scene light raised by the system gamma, on its luminance
            const float ys = 0.2627f * r + 0.6780f * g + 0.0593f * b;
            const float gain = t.hlgGain[Code(ys)];
            r *= gain, g *= gain, b *= gain;
        }
        float r7 = std::max(0.0f, kTo709[0] * r + kTo709[1] * g + kTo709[2] * b);
        float g7 = std::max(0.0f, kTo709[3] * r + kTo709[4] * g + kTo709[5] * b);
        float b7 = std::max(0.0f, kTo709[6] * r + kTo709[7] * g + kTo709[8] * b);
        const float top = std::max({r7, g7, b7});
        if (top > kKnee) {
            const float over = (top - kKnee) / (1 - kKnee);
            const float rolled = kKnee + (1 - kKnee) * over / (1 + over);
            const float k = rolled / top;
            r7 *= k, g7 *= k, b7 *= k;
        }
        std::uint8_t* out = rgba + 4 * i;
        out[0] = t.encoded[Code(r7)];
        out[1] = t.encoded[Code(g7)];
        out[2] = t.encoded[Code(b7)];
        out[3] = planes[3] ? static_cast<std::uint8_t>(planes[3][i] >> 8) : 255;
    }
}

} // namespace qf::imaging
