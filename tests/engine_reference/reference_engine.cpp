#include "reference_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <utility>

namespace qfref {

namespace {

int RoundEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

std::uint8_t Clamp255(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// Every pixel's channels v become v + k (v - a), a the truncated mean of the
// three, in double precision from the single k, rounded and clamped.
void BoostSaturation(Plane& L, float k)
{
    for (int y = 0; y < L.H; ++y) {
        for (int x = 0; x < L.W; ++x) {
            const int a = (L(0, x, y) + L(1, x, y) + L(2, x, y)) / 3;
            for (int c = 0; c < 3; ++c) {
                const int v = L(c, x, y);
                L(c, x, y) = Clamp255(RoundEven(v + static_cast<double>(k) * (v - a)));
            }
        }
    }
}

// A line pixel (channel 0 is 0) whose eight neighbours hold 255 in channel 0
// turns white; the outermost rows and columns never change.
void WhitenLonePixels(Plane& L)
{
    for (int x = 1; x <= L.W - 2; ++x) {
        for (int y = 1; y <= L.H - 2; ++y) {
            bool lone = L(0, x, y) == 0;
            for (int dx = -1; dx <= 1; ++dx) {
                for (int dy = -1; dy <= 1; ++dy) {
                    lone = lone && ((dx == 0 && dy == 0) || L(0, x + dx, y + dy) == 255);
                }
            }
            if (lone) {
                L(0, x, y) = L(1, x, y) = L(2, x, y) = 255;
            }
        }
    }
}

// The ends lo..hi of the paper run through `at` on a line of pixels 0..max:
// each end lies just short of the nearest ink pixel toward it, at most
// `radius` pixels away, and inside the line.
std::pair<int, int> RunAround(int at, int radius, int max, const std::function<bool(int)>& ink)
{
    int lo = at - radius;
    for (int i = at; i >= at - radius; --i) {
        if (i >= 0 && ink(i)) {
            lo = i + 1;
            break;
        }
    }
    const int end = at < max - radius ? at + radius : max;
    int hi = at + radius;
    for (int i = at; i <= end; ++i) {
        if (ink(i)) {
            hi = i - 1;
            break;
        }
    }
    return {std::max(lo, 0), std::min(hi, max)};
}

// A pixel of the sketch is on a line when any channel is below 255.
bool OnLine(Plane& L, int x, int y)
{
    return L(0, x, y) < 255 || L(1, x, y) < 255 || L(2, x, y) < 255;
}

} // namespace

void ReferenceEngine::SetPencilTexture(const Plane& texture)
{
    PencilTexture = PencilTexture2 = texture;
    for (int y = 0; y < texture.H; ++y) {
        for (int x = 0; x < texture.W; ++x) {
            for (int c = 0; c < texture.C; ++c) {
                PencilTexture2(c, x, y) = PencilTexture(c, (x + 27) % texture.W, y);
            }
        }
    }
}

void ReferenceEngine::CountEdgeVotes(Plane& C, Plane& K, Plane& V)
{
    const int dx[4] = {1, 0, 1, -1};
    const int dy[4] = {1, 1, 0, 1};
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int k = 0; k < 4; ++k) {
                const int nx = x + dx[k];
                const int ny = y + dy[k];
                if (nx < 0 || nx > MaxX || ny > MaxY) {
                    continue;
                }
                bool edge = false;
                for (int c = 0; c < 3; ++c) {
                    edge = edge || std::abs(C(c, x, y) - C(c, nx, ny)) > ColorDiffLimit;
                }
                if (edge) {
                    ++(K(x, y) > K(nx, ny) ? V(nx, ny) : V(x, y));
                }
            }
        }
    }
}

void ReferenceEngine::ComputeEffectLayers(int VariantIndex, int FrameNumber, const RefSwitches& sw)
{
    MaxX = SourcePlanes.W - 1;
    MaxY = SourcePlanes.H - 1;
    const int W = MaxX + 1;
    const int H = MaxY + 1;
    for (Plane* p : {&GrayPlane, &Gray4Plane, &SketchGrayPlane, &SketchGray8Plane, &EdgeCount}) {
        *p = Plane(1, W, H);
    }
    for (Plane* p : {&SketchLayer, &SourceCopy, &SketchOverColor, &VividLayer, &PosterLayer, &ContrastLayer,
                     &PencilLayer, &Gray4Color}) {
        *p = Plane(3, W, H);
    }

    // Grey planes: the truncated channel average, and it in four levels.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int c = 2; c >= 0; --c) {
                SourceCopy(c, x, y) = SourcePlanes(c, x, y);
            }
            const int g = (SourcePlanes(0, x, y) + SourcePlanes(1, x, y) + SourcePlanes(2, x, y)) / 3;
            GrayPlane(x, y) = static_cast<std::uint8_t>(g);
            Gray4Plane(x, y) = static_cast<std::uint8_t>((g / 64) * 64);
        }
    }

    // The line sketch.
    CountEdgeVotes(SourceCopy, GrayPlane, EdgeCount);
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const bool line = EdgeCount(x, y) >= EdgeVoteMin || GrayPlane(x, y) < DarkLimit;
            SketchLayer(0, x, y) = SketchLayer(1, x, y) = SketchLayer(2, x, y) = line ? 0 : 255;
        }
    }
    WhitenLonePixels(SketchLayer);

    // Sketch depth: lines take half the frame, in colour or in grey.
    if (sw.Adjust == 1) {
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                if (SketchLayer(0, x, y) != 0) {
                    continue;
                }
                for (int c = 0; c < 3; ++c) {
                    const int from = sw.ColorSketch != 0 ? SourceCopy(c, x, y) : GrayPlane(x, y);
                    SketchLayer(c, x, y) = static_cast<std::uint8_t>(RoundEven(from * 0.5));
                }
            }
        }
        if (sw.ColorSketch != 0) {
            BoostSaturation(SketchLayer, 70.0f / 100.0f);
        }
    }

    // The pencil layer: lines on the texture, paper white. The grey form
    // takes the second texture for frames 3, 4, 5, 9, 10, 11, ...
    const int phase = FrameNumber % 6;
    const bool colour = sw.ColorSketch != 0;
    Plane& T = !colour && (phase == 3 || phase == 4 || phase == 5) ? PencilTexture2 : PencilTexture;
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const bool line = OnLine(SketchLayer, x, y);
            for (int c = 0; c < 3; ++c) {
                const int t = T(c, x % PencilTexture.W, y % PencilTexture.H);
                const double v =
                    colour ? SourceCopy(c, x, y) * 0.7 + t * 0.3 : SketchLayer(c, x, y) / 2.0 + t / 2.0;
                PencilLayer(c, x, y) = static_cast<std::uint8_t>(line ? RoundEven(v) : 255);
            }
        }
    }
    if (colour) {
        BoostSaturation(PencilLayer, 128.0f / 100.0f);
    }
    if (VariantIndex == 0 || VariantIndex == 2) {
        return;
    }

    // Sketch over colour: mixed, or the lines over the frame's colours.
    if (sw.MixColor == 1) {
        MixSimilarColours();
    } else {
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                const bool line = OnLine(SketchLayer, x, y);
                for (int c = 0; c < 3; ++c) {
                    SketchOverColor(c, x, y) = line ? SketchLayer(c, x, y) : SourceCopy(c, x, y);
                }
            }
        }
    }
    if (VariantIndex == 5) {
        return;
    }
    DitherPencil(sw);
    BuildVariantLayer(VariantIndex);
}

void ReferenceEngine::MixSimilarColours()
{
    Plane& S = SketchOverColor;
    auto ink = [&](int x, int y) { return S(0, x, y) == 0; };

    // Keys, edge votes between grey levels, and the ink mask.
    EdgeCount = Plane(1, MaxX + 1, MaxY + 1);
    GrayEdgeKey = Plane(1, MaxX + 1, MaxY + 1);
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            Gray4Color(2, x, y) = Gray4Color(1, x, y) = Gray4Color(0, x, y) = Gray4Plane(x, y);
            GrayEdgeKey(x, y) = Gray4Plane(x, y);
        }
    }
    CountEdgeVotes(Gray4Color, GrayEdgeKey, EdgeCount);
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const bool isInk = EdgeCount(x, y) >= EdgeVoteMin || GrayEdgeKey(x, y) < DarkLimit;
            S(0, x, y) = S(1, x, y) = S(2, x, y) = isInk ? 0 : 255;
        }
    }
    WhitenLonePixels(S);

    const int R = MixRadius;
    const int V = std::min(RoundEven(MixRadius * 0.4), 20);

    // Rows from the source colours; the scan to the left sees pixels already
    // rewritten, so an average whose channel 0 came out 0 ends a run.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (ink(x, y)) {
                S(0, x, y) = S(1, x, y) = S(2, x, y) = 0;
                continue;
            }
            const auto [lo, hi] = RunAround(x, R, MaxX, [&](int i) { return ink(i, y); });
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int i = lo; i <= hi; ++i) {
                    sum += SourceCopy(c, i, y);
                }
                S(c, x, y) =
                    static_cast<std::uint8_t>(hi - lo + 1 <= 1 ? SourceCopy(c, x, y) : sum / (hi - lo + 1));
            }
        }
    }
    // Columns with radius V, then rows with radius 3 when V > 5, averaging
    // the plane itself in place.
    for (const bool columns : {true, false}) {
        if (!columns && V <= 5) {
            break;
        }
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                if (ink(x, y)) {
                    continue;
                }
                const auto [lo, hi] = columns ? RunAround(y, V, MaxY, [&](int i) { return ink(x, i); })
                                              : RunAround(x, 3, MaxX, [&](int i) { return ink(i, y); });
                if (hi - lo + 1 <= 1) {
                    continue;
                }
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int i = lo; i <= hi; ++i) {
                        sum += columns ? S(c, x, i) : S(c, i, y);
                    }
                    S(c, x, y) = static_cast<std::uint8_t>(sum / (hi - lo + 1));
                }
            }
        }
    }
    // Ink takes its source colours back; the lines go on top.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const bool black = S(0, x, y) == 0 && S(1, x, y) == 0 && S(2, x, y) == 0;
            const bool line = OnLine(SketchLayer, x, y);
            for (int c = 0; c < 3; ++c) {
                S(c, x, y) = line ? SketchLayer(c, x, y) : (black ? SourceCopy(c, x, y) : S(c, x, y));
            }
        }
    }
}

void ReferenceEngine::DitherPencil(const RefSwitches& sw)
{
    // The Stucki shares: weight, column offset, error row (1 is this row).
    // Shares toward larger x and y stop one column and one row short.
    const int shares[12][3] = {{8, 1, 1}, {4, 2, 1},  {2, -2, 2}, {4, -1, 2}, {8, 0, 2}, {4, 1, 2},
                               {2, 2, 2}, {1, -2, 3}, {2, -1, 3}, {4, 0, 3},  {2, 1, 3}, {1, 2, 3}};
    auto grey = [&](int x, int y) {
        return (SketchOverColor(0, x, y) + SketchOverColor(1, x, y) + SketchOverColor(2, x, y)) / 3;
    };
    DitherLayer = Plane(3, MaxX + 1, MaxY + 1);
    std::vector<std::vector<int>> ErrorRows(4, std::vector<int>(MaxX + 1, 0));
    long long total = 0;
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            total += grey(x, y);
        }
    }
    const int mean = static_cast<int>(total / ((MaxX + 1) * (MaxY + 1)));

    for (int y = 0; y <= MaxY; ++y) {
        for (int x = 0; x <= MaxX; ++x) {
            const int v = std::clamp(grey(x, y) + ErrorRows[1][x] * 10 / DitherErrorDivisor, 0, 255);
            const int out = v >= mean ? 255 : 0;
            DitherLayer(0, x, y) = DitherLayer(1, x, y) = DitherLayer(2, x, y) =
                static_cast<std::uint8_t>(out);
            for (const auto& [weight, dx, row] : shares) {
                const bool fits =
                    (dx > 0 ? x < MaxX - dx : x + dx >= 0) && (row == 1 || y < MaxY - (row - 1));
                if (fits) {
                    ErrorRows[row][x + dx] += (v - out) * weight / 42;
                }
            }
        }
        ErrorRows.erase(ErrorRows.begin() + 1);
        ErrorRows.emplace_back(MaxX + 1, 0);
    }

    // Dot depth: black dots take half the frame, in colour or in grey.
    if (sw.Adjust != 1) {
        return;
    }
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (DitherLayer(0, x, y) != 0) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                const int from = sw.ColorSketch != 0 ? SourceCopy(c, x, y) : GrayPlane(x, y);
                DitherLayer(c, x, y) = static_cast<std::uint8_t>(RoundEven(from / 2.0));
            }
        }
    }
}

void ReferenceEngine::BuildVariantLayer(int VariantIndex)
{
    // One stage by the variant, or none.
    const int v = VariantIndex;
    const bool vivid = v == 3 || v == 4, tint = v == 7 || v == 8, poster = v == 9 || v == 10;
    const bool contrast = v == 11 || v == 12, greys = v >= 13 && v <= 16;
    Plane& S = SketchOverColor;
    if (tint) {
        TintLayer = Plane(3, MaxX + 1, MaxY + 1);
    }
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int c = 0; c < 3; ++c) {
                const int s = S(c, x, y);
                if (vivid) {
                    VividLayer(c, x, y) = Clamp255(RoundEven(s * ((255 - s) / 255.0 * 0.75 + 1.0)));
                }
                if (poster) {
                    PosterLayer(c, x, y) =
                        Clamp255(RoundEven(std::nearbyint(s / static_cast<double>(256.0f)) * 256));
                }
                if (contrast) {
                    ContrastLayer(c, x, y) = Clamp255(s * 10 - 1143);
                }
            }
            if (greys) {
                const int g = (S(0, x, y) + S(1, x, y) + S(2, x, y)) / 3;
                SketchGrayPlane(x, y) = static_cast<std::uint8_t>(g);
                SketchGray8Plane(x, y) = static_cast<std::uint8_t>(32 * (g / 32));
            }
            if (tint) {
                // RgbToHsl's lightness, then HslToRgb at hue 0.5 and
                // saturation 0.25: red is m2, blue m1, green halfway.
                const float r = static_cast<float>(S(2, x, y) / 255.0);
                const float g = static_cast<float>(S(1, x, y) / 255.0);
                const float b = static_cast<float>(S(0, x, y) / 255.0);
                const float mx = std::max({r, g, b});
                const float mn = std::min({r, g, b});
                const float l = static_cast<float>((static_cast<double>(mx) + mn) / 2.0);
                const double sat = 0.25f;
                const float m1 = static_cast<float>(l <= 0.5f ? (1.0 - sat) * l : l - (1.0 - l) * sat);
                const float m2 = static_cast<float>(2.0 * l - m1);
                const float mid = static_cast<float>(m1 + (static_cast<double>(m2) - m1) * 0.5f);
                TintLayer(0, x, y) = static_cast<std::uint8_t>(RoundEven(m1 * 255.0));
                TintLayer(1, x, y) = static_cast<std::uint8_t>(RoundEven(mid * 255.0));
                TintLayer(2, x, y) = static_cast<std::uint8_t>(RoundEven(m2 * 255.0));
            }
        }
    }
    if (vivid) {
        BoostSaturation(VividLayer, 128.0f / 100.0f);
    }
}

void ReferenceEngine::RenderVariant(int VariantIndex, const RefSwitches& sw)
{
    // Each variant's base layer, whether it is a grey plane, and whether the
    // dots (DitherLayer pixels other than pure white) go over it.
    struct Rule {
        Plane* base;
        bool grey, dots;
    };
    const Rule rules[17] = {
        {&SketchLayer, false, false},    {&DitherLayer, false, false},     {&PencilLayer, false, false},
        {&VividLayer, false, false},     {&VividLayer, false, true},       {&SketchOverColor, false, false},
        {&SketchOverColor, false, true}, {&TintLayer, false, false},       {&TintLayer, false, true},
        {&PosterLayer, false, false},    {&PosterLayer, false, true},      {&ContrastLayer, false, false},
        {&ContrastLayer, false, true},   {&SketchGray8Plane, true, false}, {&SketchGray8Plane, true, true},
        {&SketchGrayPlane, true, false}, {&SketchGrayPlane, true, true},
    };
    for (int x = 0; x <= MaxX && VariantIndex >= 0 && VariantIndex <= 16; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const Rule& r = rules[VariantIndex];
            Plane& D = DitherLayer;
            const bool dot = r.dots && (D(0, x, y) != 255 || D(1, x, y) != 255 || D(2, x, y) != 255);
            for (int c = 2; c >= 0; --c) {
                SourcePlanes(c, x, y) = dot ? D(c, x, y) : (r.grey ? (*r.base)(x, y) : (*r.base)(c, x, y));
            }
        }
    }
    for (Plane* p : {&GrayPlane, &Gray4Plane, &SketchGrayPlane, &SketchGray8Plane, &EdgeCount, &SketchLayer,
                     &SourceCopy, &SketchOverColor, &VividLayer, &PosterLayer, &ContrastLayer, &Gray4Color}) {
        *p = Plane();
    }

    // Blur (2 x 2 box average), then sharpen, in place: each pixel reads only
    // neighbours to its right and above, not yet filtered.
    Plane& P = SourcePlanes;
    const float k1 = static_cast<float>(1.0 + 1.0);
    const float k2 = static_cast<float>(-1.0 / 3.0);
    for (const bool blur : {true, false}) {
        if ((blur ? sw.Blur : sw.Sharpen) != 1) {
            continue;
        }
        for (int x = 0; x <= MaxX - 1; ++x) {
            for (int y = 0; y <= MaxY - 1; ++y) {
                for (int c = 0; c < 3; ++c) {
                    const int S = P(c, x, y + 1) + P(c, x + 1, y) + P(c, x + 1, y + 1);
                    const int v = blur ? RoundEven((P(c, x, y) + S) / 4.0)
                                       : RoundEven(P(c, x, y) * double{k1}) + RoundEven(double{k2} * S);
                    P(c, x, y) = Clamp255(v);
                }
            }
        }
    }
}

} // namespace qfref
