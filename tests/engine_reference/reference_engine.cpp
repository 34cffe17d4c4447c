#include "reference_engine.h"

#include <cmath>
#include <cstdlib>

namespace qfref {

int RoundEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

namespace {

int Clamp255(int v)
{
    if (v < 0) {
        return 0;
    }
    if (v > 255) {
        return 255;
    }
    return v;
}

std::uint8_t B(int v)
{
    return static_cast<std::uint8_t>(v);
}

int ThirdsTable(int i)
{
    return i / 3;
}

// Weights of the twelve Stucki shares, share 1 first.
constexpr int kStuckiWeight[13] = {0, 8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1};

int StuckiShares(int k, int e)
{
    return (e * kStuckiWeight[k]) / 42;
}

} // namespace

// ---------------------------------------------------------------- colour model

float MaxOfThree(float a, float b, float c)
{
    if (a > b) {
        return a > c ? a : c;
    }
    return c > b ? c : b;
}

float MinOfThree(float a, float b, float c)
{
    if (a < b) {
        return a < c ? a : c;
    }
    return c < b ? c : b;
}

void RgbToHsl(int red, int green, int blue, float& hue, float& saturation, float& lightness)
{
    const float r = static_cast<float>(red / 255.0);
    const float g = static_cast<float>(green / 255.0);
    const float b = static_cast<float>(blue / 255.0);
    const float mx = MaxOfThree(r, g, b);
    const float mn = MinOfThree(r, g, b);
    lightness = static_cast<float>((static_cast<double>(mx) + mn) / 2.0);
    if (mx == mn) {
        saturation = 0.0f;
        hue = 0.0f;
        return;
    }
    if (lightness <= 0.5f) {
        saturation = static_cast<float>((static_cast<double>(mx) - mn) / (static_cast<double>(mx) + mn));
    } else {
        saturation = static_cast<float>((static_cast<double>(mx) - mn) / (2.0 - mx - mn));
    }
    const float d = static_cast<float>(static_cast<double>(mx) - mn);
    if (r == mx) {
        hue = static_cast<float>((static_cast<double>(g) - b) / d);
    } else if (g == mx) {
        hue = static_cast<float>(2.0 + (static_cast<double>(b) - r) / d);
    } else if (b == mx) {
        hue = static_cast<float>(4.0 + (static_cast<double>(r) - g) / d);
    }
}

void HslToRgb(float hue, float saturation, float lightness, int& red, int& green, int& blue)
{
    float rp = 0.0f;
    float gp = 0.0f;
    float bp = 0.0f;
    if (saturation == 0.0f) {
        rp = gp = bp = lightness;
    } else {
        float m1;
        if (lightness <= 0.5f) {
            m1 = static_cast<float>((1.0 - saturation) * lightness);
        } else {
            m1 = static_cast<float>(lightness - (1.0 - lightness) * saturation);
        }
        const float m2 = static_cast<float>(2.0 * lightness - m1);
        const double span = static_cast<double>(m2) - m1;
        const double h = hue;
        if (hue < 1.0f) {
            rp = m2;
            if (hue < 0.0f) {
                gp = m1;
                bp = static_cast<float>(m1 - span * h);
            } else {
                bp = m1;
                gp = static_cast<float>(m1 + span * h);
            }
        } else if (hue < 3.0f) {
            gp = m2;
            if (hue < 2.0f) {
                bp = m1;
                rp = static_cast<float>(m1 - (h - 2.0) * span);
            } else {
                rp = m1;
                bp = static_cast<float>(m1 + (h - 2.0) * span);
            }
        } else {
            bp = m2;
            if (hue < 4.0f) {
                rp = m1;
                gp = static_cast<float>(m1 - (h - 4.0) * span);
            } else {
                gp = m1;
                rp = static_cast<float>(m1 + (h - 4.0) * span);
            }
        }
    }
    red = RoundEven(static_cast<double>(rp) * 255.0);
    green = RoundEven(static_cast<double>(gp) * 255.0);
    blue = RoundEven(static_cast<double>(bp) * 255.0);
}

void BoostSaturation(Plane& layer, float k)
{
    const int maxX = layer.W - 1;
    const int maxY = layer.H - 1;
    for (int x = 0; x <= maxX; ++x) {
        for (int y = 0; y <= maxY; ++y) {
            const int r = layer(0, x, y);
            const int g = layer(1, x, y);
            const int b = layer(2, x, y);
            const int a = ThirdsTable(r + g + b);
            const int vals[3] = {r, g, b};
            for (int c = 0; c < 3; ++c) {
                const int v = vals[c];
                const int boosted = RoundEven(static_cast<double>(v) + static_cast<double>(k) * (v - a));
                layer(c, x, y) = B(Clamp255(boosted));
            }
        }
    }
}

// ---------------------------------------------------------------- engine

void ReferenceEngine::SetPencilTexture(const Plane& texture)
{
    PencilTexture = texture;
    PencilTexture2 = texture;
    for (int y = 0; y < texture.H; ++y) {
        for (int x = 0; x < texture.W; ++x) {
            for (int c = 0; c < texture.C; ++c) {
                PencilTexture2(c, x, y) = PencilTexture(c, (x + 27) % texture.W, y);
            }
        }
    }
}

void ReferenceEngine::ComputeEffectLayers(int VariantIndex, int FrameNumber, const RefSwitches& sw)
{
    MaxX = SourcePlanes.W - 1;
    MaxY = SourcePlanes.H - 1;
    const int w = MaxX + 1;
    const int h = MaxY + 1;
    GrayPlane.alloc(1, w, h);
    Gray4Plane.alloc(1, w, h);
    SketchGrayPlane.alloc(1, w, h);
    SketchGray8Plane.alloc(1, w, h);
    EdgeCount.alloc(1, w, h);
    SketchLayer.alloc(3, w, h);
    SourceCopy.alloc(3, w, h);
    SketchOverColor.alloc(3, w, h);
    VividLayer.alloc(3, w, h);
    PosterLayer.alloc(3, w, h);
    ContrastLayer.alloc(3, w, h);
    PencilLayer.alloc(3, w, h);
    Gray4Color.alloc(3, w, h);

    PrepareGrayPlanes();
    CountEdgeVotes(SourceCopy, GrayPlane, EdgeCount);
    DrawSketchLines();
    RemoveLonePixels();
    if (sw.Adjust == 1) {
        AdjustSketchDepth(sw);
    }
    BuildPencilLayer(FrameNumber, sw);
    if (VariantIndex == 0 || VariantIndex == 2) {
        return;
    }
    if (sw.MixColor == 1) {
        MixSimilarColors();
    } else {
        BuildSketchOverColor();
    }
    if (VariantIndex == 5) {
        return;
    }
    DitherPencil();
    AdjustDitherDepth(sw);
    switch (VariantIndex) {
    case 3:
    case 4:
        BuildVividLayer();
        break;
    case 7:
    case 8:
        BuildTintLayer();
        break;
    case 9:
    case 10:
        BuildPosterLayer();
        break;
    case 11:
    case 12:
        BuildContrastLayer();
        break;
    case 13:
    case 14:
    case 15:
    case 16:
        BuildSketchGrayPlanes();
        break;
    default:
        break;
    }
}

void ReferenceEngine::PrepareGrayPlanes()
{
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int c = 2; c >= 0; --c) {
                SourceCopy(c, x, y) = SourcePlanes(c, x, y);
            }
        }
    }
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const int s = SourcePlanes(0, x, y) + SourcePlanes(1, x, y) + SourcePlanes(2, x, y);
            const int g = s / 3;
            GrayPlane(x, y) = B(g);
            Gray4Plane(x, y) = B((g / 64) * 64);
        }
    }
}

void ReferenceEngine::CountEdgeVotes(Plane& C, Plane& K, Plane& V)
{
    const int L = ColorDiffLimit;
    const int dx[4] = {1, 0, 1, -1};
    const int dy[4] = {1, 1, 0, 1};
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int k = 0; k < 4; ++k) {
                const int nx = x + dx[k];
                const int ny = y + dy[k];
                if (nx < 0 || nx > MaxX || ny < 0 || ny > MaxY) {
                    continue;
                }
                if (std::abs(C(2, x, y) - C(2, nx, ny)) <= L && std::abs(C(1, x, y) - C(1, nx, ny)) <= L
                    && std::abs(C(0, x, y) - C(0, nx, ny)) <= L) {
                    continue;
                }
                if (K(x, y) > K(nx, ny)) {
                    V(nx, ny) = B(V(nx, ny) + 1);
                } else {
                    V(x, y) = B(V(x, y) + 1);
                }
            }
        }
    }
}

void ReferenceEngine::DrawSketchLines()
{
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const int v = EdgeCount(x, y) < EdgeVoteMin ? 255 : 0;
            for (int c = 0; c < 3; ++c) {
                SketchLayer(c, x, y) = B(v);
            }
            if (GrayPlane(x, y) < DarkLimit) {
                for (int c = 0; c < 3; ++c) {
                    SketchLayer(c, x, y) = 0;
                }
            }
        }
    }
}

void ReferenceEngine::RemoveLonePixels()
{
    for (int x = 1; x <= MaxX - 1; ++x) {
        for (int y = 1; y <= MaxY - 1; ++y) {
            if (SketchLayer(0, x, y) != 0) {
                continue;
            }
            bool allWhite = true;
            for (int ddx = -1; ddx <= 1; ++ddx) {
                for (int ddy = -1; ddy <= 1; ++ddy) {
                    if ((ddx != 0 || ddy != 0) && SketchLayer(0, x + ddx, y + ddy) != 255) {
                        allWhite = false;
                    }
                }
            }
            if (allWhite) {
                for (int c = 0; c < 3; ++c) {
                    SketchLayer(c, x, y) = 255;
                }
            }
        }
    }
}

void ReferenceEngine::AdjustSketchDepth(const RefSwitches& sw)
{
    if (sw.ColorSketch != 0) {
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                if (SketchLayer(0, x, y) == 0) {
                    for (int c = 0; c < 3; ++c) {
                        SketchLayer(c, x, y) = B(RoundEven(SourceCopy(c, x, y) * 0.5));
                    }
                }
            }
        }
        BoostSaturation(SketchLayer, 70.0f / 100.0f);
    } else {
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                if (SketchLayer(0, x, y) == 0) {
                    const int v = RoundEven(GrayPlane(x, y) / 2.0);
                    for (int c = 0; c < 3; ++c) {
                        SketchLayer(c, x, y) = B(v);
                    }
                }
            }
        }
    }
}

void ReferenceEngine::BuildPencilLayer(int FrameNumber, const RefSwitches& sw)
{
    const int tw = PencilTexture.W;
    const int th = PencilTexture.H;
    auto onLine = [&](int x, int y) {
        return SketchLayer(0, x, y) < 255 || SketchLayer(1, x, y) < 255 || SketchLayer(2, x, y) < 255;
    };
    if (sw.ColorSketch != 0) {
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                const bool line = onLine(x, y);
                for (int c = 0; c < 3; ++c) {
                    if (line) {
                        const double mixed = SourceCopy(c, x, y) * 0.7 + PencilTexture(c, x % tw, y % th) * 0.3;
                        PencilLayer(c, x, y) = B(RoundEven(mixed));
                    } else {
                        PencilLayer(c, x, y) = 255;
                    }
                }
            }
        }
        BoostSaturation(PencilLayer, 128.0f / 100.0f);
    } else {
        const int phase = FrameNumber % 6;
        Plane& T = (phase == 3 || phase == 4 || phase == 5) ? PencilTexture2 : PencilTexture;
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                const bool line = onLine(x, y);
                for (int c = 0; c < 3; ++c) {
                    if (line) {
                        PencilLayer(c, x, y) = B(RoundEven(SketchLayer(c, x, y) / 2.0 + T(c, x % tw, y % th) / 2.0));
                    } else {
                        PencilLayer(c, x, y) = 255;
                    }
                }
            }
        }
    }
}

void ReferenceEngine::BuildSketchOverColor()
{
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const bool line = SketchLayer(0, x, y) < 255 || SketchLayer(1, x, y) < 255 || SketchLayer(2, x, y) < 255;
            for (int c = 0; c < 3; ++c) {
                SketchOverColor(c, x, y) = line ? SketchLayer(c, x, y) : SourceCopy(c, x, y);
            }
        }
    }
}

void ReferenceEngine::MixSimilarColors()
{
    Plane& S = SketchOverColor;
    auto ink = [&](int x, int y) { return S(0, x, y) == 0; };

    // 1. Keys.
    EdgeCount.alloc(1, MaxX + 1, MaxY + 1);
    GrayEdgeKey.alloc(1, MaxX + 1, MaxY + 1);
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int c = 2; c >= 0; --c) {
                Gray4Color(c, x, y) = Gray4Plane(x, y);
            }
            GrayEdgeKey(x, y) = Gray4Plane(x, y);
        }
    }

    // 2. Edge votes; a neighbour outside the frame is replaced by p itself.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            int nx[4] = {x + 1, x, x + 1, x - 1};
            int ny[4] = {y + 1, y + 1, y, y + 1};
            if (x + 1 > MaxX || y + 1 > MaxY) {
                nx[0] = x;
                ny[0] = y;
            }
            if (y + 1 > MaxY) {
                nx[1] = x;
                ny[1] = y;
            }
            if (x + 1 > MaxX) {
                nx[2] = x;
                ny[2] = y;
            }
            if (x - 1 < 0 || y + 1 > MaxY) {
                nx[3] = x;
                ny[3] = y;
            }
            for (int k = 0; k < 4; ++k) {
                bool similar = true;
                for (int c = 0; c < 3; ++c) {
                    if (std::abs(Gray4Color(c, x, y) - Gray4Color(c, nx[k], ny[k])) > ColorDiffLimit) {
                        similar = false;
                    }
                }
                if (similar) {
                    continue;
                }
                if (GrayEdgeKey(x, y) > GrayEdgeKey(nx[k], ny[k])) {
                    EdgeCount(nx[k], ny[k]) = B(EdgeCount(nx[k], ny[k]) + 1);
                } else {
                    EdgeCount(x, y) = B(EdgeCount(x, y) + 1);
                }
            }
        }
    }

    // 3. Ink mask.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const int v = EdgeCount(x, y) < EdgeVoteMin ? 255 : 0;
            for (int c = 0; c < 3; ++c) {
                S(c, x, y) = B(v);
            }
            if (GrayEdgeKey(x, y) < DarkLimit) {
                for (int c = 0; c < 3; ++c) {
                    S(c, x, y) = 0;
                }
            }
        }
    }

    // 4. Lone ink pixels.
    for (int x = 1; x <= MaxX - 1; ++x) {
        for (int y = 1; y <= MaxY - 1; ++y) {
            if (!ink(x, y)) {
                continue;
            }
            bool allPaper = true;
            for (int ddx = -1; ddx <= 1; ++ddx) {
                for (int ddy = -1; ddy <= 1; ++ddy) {
                    if ((ddx != 0 || ddy != 0) && S(0, x + ddx, y + ddy) != 255) {
                        allPaper = false;
                    }
                }
            }
            if (allPaper) {
                for (int c = 0; c < 3; ++c) {
                    S(c, x, y) = 255;
                }
            }
        }
    }

    // 5. Radii.
    const int R = MixRadius;
    int V = RoundEven(MixRadius * 0.4);
    if (V > 20) {
        V = 20;
    }

    // 6. Horizontal flattening from the source colours.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (ink(x, y)) {
                for (int c = 0; c < 3; ++c) {
                    S(c, x, y) = 0;
                }
                continue;
            }
            int left = x - R;
            for (int i = x; i >= x - R; --i) {
                if (i < 0) {
                    continue;
                }
                if (ink(i, y)) {
                    left = i + 1;
                    break;
                }
            }
            if (left < 0) {
                left = 0;
            }
            const int E = x < MaxX - R ? x + R : MaxX;
            int right = x + R;
            for (int i = x; i <= E; ++i) {
                if (ink(i, y)) {
                    right = i - 1;
                    break;
                }
            }
            if (right > MaxX) {
                right = MaxX;
            }
            const int n = right - left + 1;
            for (int c = 0; c < 3; ++c) {
                if (n <= 1) {
                    S(c, x, y) = SourceCopy(c, x, y);
                } else {
                    int sum = 0;
                    for (int i = left; i <= right; ++i) {
                        sum += SourceCopy(c, i, y);
                    }
                    S(c, x, y) = B(sum / n);
                }
            }
        }
    }

    // 7. Vertical smoothing of the plane itself.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (ink(x, y)) {
                continue;
            }
            int low = y - V;
            for (int i = y; i >= y - V; --i) {
                if (i < 0) {
                    continue;
                }
                if (ink(x, i)) {
                    low = i + 1;
                    break;
                }
            }
            if (low < 0) {
                low = 0;
            }
            const int E = y < MaxY - V ? y + V : MaxY;
            int high = y + V;
            for (int i = y; i <= E; ++i) {
                if (ink(x, i)) {
                    high = i - 1;
                    break;
                }
            }
            if (high > MaxY) {
                high = MaxY;
            }
            const int n = high - low + 1;
            if (n > 1) {
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int i = low; i <= high; ++i) {
                        sum += S(c, x, i);
                    }
                    S(c, x, y) = B(sum / n);
                }
            }
        }
    }

    // 8. Second horizontal smoothing, radius 3, only for a tall vertical radius.
    if (V > 5) {
        const int R2 = 3;
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                if (ink(x, y)) {
                    continue;
                }
                int left = x - R2;
                for (int i = x; i >= x - R2; --i) {
                    if (i < 0) {
                        continue;
                    }
                    if (ink(i, y)) {
                        left = i + 1;
                        break;
                    }
                }
                if (left < 0) {
                    left = 0;
                }
                const int E = x < MaxX - R2 ? x + R2 : MaxX;
                int right = x + R2;
                for (int i = x; i <= E; ++i) {
                    if (ink(i, y)) {
                        right = i - 1;
                        break;
                    }
                }
                if (right > MaxX) {
                    right = MaxX;
                }
                const int n = right - left + 1;
                if (n > 1) {
                    for (int c = 0; c < 3; ++c) {
                        int sum = 0;
                        for (int i = left; i <= right; ++i) {
                            sum += S(c, i, y);
                        }
                        S(c, x, y) = B(sum / n);
                    }
                }
            }
        }
    }

    // 9. Ink restore.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (S(0, x, y) == 0 && S(1, x, y) == 0 && S(2, x, y) == 0) {
                for (int c = 0; c < 3; ++c) {
                    S(c, x, y) = SourceCopy(c, x, y);
                }
            }
        }
    }

    // 10. Line overlay.
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (SketchLayer(0, x, y) < 255 || SketchLayer(1, x, y) < 255 || SketchLayer(2, x, y) < 255) {
                for (int c = 0; c < 3; ++c) {
                    S(c, x, y) = SketchLayer(c, x, y);
                }
            }
        }
    }
}

void ReferenceEngine::DitherPencil()
{
    DitherLayer.alloc(3, MaxX + 1, MaxY + 1);
    std::vector<int> rows[4];
    for (int r = 1; r <= 3; ++r) {
        rows[r].assign(static_cast<std::size_t>(MaxX) + 1, 0);
    }
    auto ErrorRows = [&](int r, int x) -> int& { return rows[r].at(static_cast<std::size_t>(x)); };

    long long total = 0;
    long long count = 0;
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            total += ThirdsTable(SketchOverColor(0, x, y) + SketchOverColor(1, x, y) + SketchOverColor(2, x, y));
            ++count;
        }
    }
    const int mean = static_cast<int>(total / count);

    for (int y = 0; y <= MaxY; ++y) {
        for (int x = 0; x <= MaxX; ++x) {
            const int g = ThirdsTable(SketchOverColor(0, x, y) + SketchOverColor(1, x, y) + SketchOverColor(2, x, y));
            int v = g + (ErrorRows(1, x) * 10) / DitherErrorDivisor;
            v = Clamp255(v);
            const int out = v >= mean ? 255 : 0;
            for (int c = 0; c < 3; ++c) {
                DitherLayer(c, x, y) = B(out);
            }
            const int e = v - out;
            if (x < MaxX - 1) {
                ErrorRows(1, x + 1) += StuckiShares(1, e);
            }
            if (x < MaxX - 2) {
                ErrorRows(1, x + 2) += StuckiShares(2, e);
            }
            if (y < MaxY - 1) {
                if (x > 1) {
                    ErrorRows(2, x - 2) += StuckiShares(3, e);
                }
                if (x > 0) {
                    ErrorRows(2, x - 1) += StuckiShares(4, e);
                }
                ErrorRows(2, x) += StuckiShares(5, e);
                if (x < MaxX - 1) {
                    ErrorRows(2, x + 1) += StuckiShares(6, e);
                }
                if (x < MaxX - 2) {
                    ErrorRows(2, x + 2) += StuckiShares(7, e);
                }
            }
            if (y < MaxY - 2) {
                if (x > 1) {
                    ErrorRows(3, x - 2) += StuckiShares(8, e);
                }
                if (x > 0) {
                    ErrorRows(3, x - 1) += StuckiShares(9, e);
                }
                ErrorRows(3, x) += StuckiShares(10, e);
                if (x < MaxX - 1) {
                    ErrorRows(3, x + 1) += StuckiShares(11, e);
                }
                if (x < MaxX - 2) {
                    ErrorRows(3, x + 2) += StuckiShares(12, e);
                }
            }
        }
        for (int x = 0; x <= MaxX; ++x) {
            ErrorRows(1, x) = ErrorRows(2, x);
            ErrorRows(2, x) = ErrorRows(3, x);
            ErrorRows(3, x) = 0;
        }
    }
}

void ReferenceEngine::AdjustDitherDepth(const RefSwitches& sw)
{
    if (sw.Adjust != 1) {
        return;
    }
    const bool colour = sw.ColorSketch != 0;
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            if (DitherLayer(0, x, y) != 0) {
                continue;
            }
            if (colour) {
                for (int c = 0; c < 3; ++c) {
                    DitherLayer(c, x, y) = B(RoundEven(SourceCopy(c, x, y) / 2.0));
                }
            } else {
                DitherLayer(0, x, y) = B(RoundEven(GrayPlane(x, y) / 2.0));
                DitherLayer(1, x, y) = DitherLayer(0, x, y);
                DitherLayer(2, x, y) = DitherLayer(0, x, y);
            }
        }
    }
}

void ReferenceEngine::BuildVividLayer()
{
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int ch = 0; ch < 3; ++ch) {
                const int c = SketchOverColor(ch, x, y);
                const int v = RoundEven(c * ((255 - c) / 255.0 * 0.75 + 1.0));
                VividLayer(ch, x, y) = B(Clamp255(v));
            }
        }
    }
    BoostSaturation(VividLayer, 128.0f / 100.0f);
}

void ReferenceEngine::BuildTintLayer()
{
    TintLayer.alloc(3, MaxX + 1, MaxY + 1);
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            float hue = 0.0f;
            float saturation = 0.0f;
            float lightness = 0.0f;
            RgbToHsl(SketchOverColor(2, x, y), SketchOverColor(1, x, y), SketchOverColor(0, x, y), hue, saturation,
                     lightness);
            int red = 0;
            int green = 0;
            int blue = 0;
            HslToRgb(0.5f, 0.25f, lightness, red, green, blue);
            TintLayer(0, x, y) = B(blue);
            TintLayer(1, x, y) = B(green);
            TintLayer(2, x, y) = B(red);
        }
    }
}

void ReferenceEngine::BuildPosterLayer()
{
    int table[256];
    const float step = 256.0f;
    for (int i = 0; i <= 255; ++i) {
        const double q = i / static_cast<double>(step);
        int entry = RoundEven(std::nearbyint(q) * 256.0);
        if (entry > 255) {
            entry = 255;
        }
        table[i] = entry;
    }
    for (int y = 0; y <= MaxY; ++y) {
        for (int x = 0; x <= MaxX; ++x) {
            for (int c = 0; c < 3; ++c) {
                PosterLayer(c, x, y) = B(table[SketchOverColor(c, x, y)]);
            }
        }
    }
}

void ReferenceEngine::BuildContrastLayer()
{
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            for (int c = 0; c < 3; ++c) {
                int v = SketchOverColor(c, x, y) * 10 - 1143;
                if (v > 255) {
                    v = 255;
                }
                if (v < 0) {
                    v = 0;
                }
                ContrastLayer(c, x, y) = B(v);
            }
        }
    }
}

void ReferenceEngine::BuildSketchGrayPlanes()
{
    for (int x = 0; x <= MaxX; ++x) {
        for (int y = 0; y <= MaxY; ++y) {
            const int g = (SketchOverColor(0, x, y) + SketchOverColor(1, x, y) + SketchOverColor(2, x, y)) / 3;
            SketchGrayPlane(x, y) = B(g);
            const int q = g / 32;
            SketchGray8Plane(x, y) = B(q >= 0 && q <= 7 ? 32 * q : 255);
        }
    }
}

// ---------------------------------------------------------------- renderer

void ReferenceEngine::RenderVariant(int VariantIndex, const RefSwitches& sw)
{
    enum Rule { Copy, Dots, Grey, GreyDots };
    struct Entry {
        Rule rule;
        Plane* layer;
    };
    const Entry table[17] = {
        {Copy, &SketchLayer},      {Copy, &DitherLayer},     {Copy, &PencilLayer},
        {Copy, &VividLayer},       {Dots, &VividLayer},      {Copy, &SketchOverColor},
        {Dots, &SketchOverColor},  {Copy, &TintLayer},       {Dots, &TintLayer},
        {Copy, &PosterLayer},      {Dots, &PosterLayer},     {Copy, &ContrastLayer},
        {Dots, &ContrastLayer},    {Grey, &SketchGray8Plane}, {GreyDots, &SketchGray8Plane},
        {Grey, &SketchGrayPlane},  {GreyDots, &SketchGrayPlane},
    };

    if (VariantIndex >= 0 && VariantIndex <= 16) {
        const Entry e = table[VariantIndex];
        Plane& L = *e.layer;
        for (int x = 0; x <= MaxX; ++x) {
            for (int y = 0; y <= MaxY; ++y) {
                bool dot = false;
                if (e.rule == Dots || e.rule == GreyDots) {
                    dot = DitherLayer(0, x, y) != 255 || DitherLayer(1, x, y) != 255 || DitherLayer(2, x, y) != 255;
                }
                for (int c = 2; c >= 0; --c) {
                    if (dot) {
                        SourcePlanes(c, x, y) = DitherLayer(c, x, y);
                    } else if (e.rule == Copy || e.rule == Dots) {
                        SourcePlanes(c, x, y) = L(c, x, y);
                    } else {
                        SourcePlanes(c, x, y) = L(x, y);
                    }
                }
            }
        }
    }

    GrayPlane.release();
    Gray4Plane.release();
    SketchGrayPlane.release();
    SketchGray8Plane.release();
    EdgeCount.release();
    SketchLayer.release();
    SourceCopy.release();
    SketchOverColor.release();
    VividLayer.release();
    PosterLayer.release();
    ContrastLayer.release();
    Gray4Color.release();

    if (sw.Blur == 1) {
        BlurPlanes();
    }
    if (sw.Sharpen == 1) {
        SharpenPlanes(1.0f);
    }
}

void ReferenceEngine::BlurPlanes()
{
    Plane& P = SourcePlanes;
    for (int x = 0; x <= MaxX - 1; ++x) {
        for (int y = 0; y <= MaxY - 1; ++y) {
            for (int c = 0; c < 3; ++c) {
                const int S = P(c, x, y) + P(c, x + 1, y) + P(c, x, y + 1) + P(c, x + 1, y + 1);
                P(c, x, y) = B(Clamp255(RoundEven(S / 4.0)));
            }
        }
    }
}

void ReferenceEngine::SharpenPlanes(float Amount)
{
    Plane& P = SourcePlanes;
    const float k1 = static_cast<float>(static_cast<double>(Amount) + 1.0);
    const float k2 = static_cast<float>(-static_cast<double>(Amount) / 3.0);
    for (int x = 0; x <= MaxX - 1; ++x) {
        for (int y = 0; y <= MaxY - 1; ++y) {
            for (int c = 0; c < 3; ++c) {
                const int a = RoundEven(P(c, x, y) * static_cast<double>(k1));
                const int S = P(c, x, y + 1) + P(c, x + 1, y) + P(c, x + 1, y + 1);
                const int b = RoundEven(static_cast<double>(k2) * S);
                P(c, x, y) = B(Clamp255(a + b));
            }
        }
    }
}

} // namespace qfref
