// A deliberately plain second implementation of the effect engine and the
// variant renderer, used only by the tests to check the real engine byte for
// byte. It shares no code with src/engine: its own plane type, its own switch
// values, every stage written out in the stated loop order with 32-bit ints,
// float where single precision is the rule, ties-to-even rounding and
// truncating division. Speed is of no concern here; clarity is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qfref {

// Bytes indexed (channel, x, y), channel fastest, then x, then y; y = 0 is
// the bottom row. A grey plane is a plane with one channel.
struct Plane {
    int C = 0;
    int W = 0;
    int H = 0;
    std::vector<std::uint8_t> px;

    Plane() = default;
    Plane(int channels, int width, int height) { alloc(channels, width, height); }

    void alloc(int channels, int width, int height)
    {
        C = channels;
        W = width;
        H = height;
        px.assign(static_cast<std::size_t>(channels) * static_cast<std::size_t>(width)
                      * static_cast<std::size_t>(height),
                  0);
    }
    void release() { *this = Plane(); }

    std::uint8_t& operator()(int c, int x, int y)
    {
        return px.at(static_cast<std::size_t>(c)
                     + static_cast<std::size_t>(C)
                           * (static_cast<std::size_t>(x)
                              + static_cast<std::size_t>(W) * static_cast<std::size_t>(y)));
    }
    // Grey planes.
    std::uint8_t& operator()(int x, int y) { return (*this)(0, x, y); }
};

// The five check box values, 0, 1 or 2 each.
struct RefSwitches {
    int ColorSketch = 0;
    int Sharpen = 0;
    int MixColor = 1;
    int Adjust = 1;
    int Blur = 0;
};

// Rounds to the nearest integer, halves to the even neighbour.
int RoundEven(double v);

// The colour model: hue in sextants (-1 up to 5), saturation and lightness 0..1,
// every named intermediate held as a float.
float MaxOfThree(float a, float b, float c);
float MinOfThree(float a, float b, float c);
void RgbToHsl(int red, int green, int blue, float& hue, float& saturation, float& lightness);
void HslToRgb(float hue, float saturation, float lightness, int& red, int& green, int& blue);

// Pushes each channel of every pixel of a 3-channel layer away from the
// pixel's truncated channel mean by the single-precision factor k.
void BoostSaturation(Plane& layer, float k);

class ReferenceEngine {
public:
    Plane SourcePlanes; // 4 channels
    Plane PencilTexture; // 4 channels
    Plane PencilTexture2; // 4 channels

    int ColorDiffLimit = 28;
    int EdgeVoteMin = 1;
    int DarkLimit = 70;
    int MixRadius = 10;
    int DitherErrorDivisor = 20;

    int MaxX = -1;
    int MaxY = -1;

    // Reallocated by every engine call.
    Plane SourceCopy, GrayPlane, Gray4Plane, EdgeCount, SketchLayer, PencilLayer, SketchOverColor,
        Gray4Color, VividLayer, PosterLayer, ContrastLayer, SketchGrayPlane, SketchGray8Plane;

    // Reallocated only by their own stage; they survive early stops.
    Plane GrayEdgeKey, DitherLayer, TintLayer;

    // The texture and its copy rotated left by 27 columns (wrapping at the
    // texture's own width).
    void SetPencilTexture(const Plane& texture);

    void ComputeEffectLayers(int VariantIndex, int FrameNumber, const RefSwitches& sw);
    void RenderVariant(int VariantIndex, const RefSwitches& sw);
    void BlurPlanes();
    void SharpenPlanes(float Amount);

private:
    void PrepareGrayPlanes();
    void CountEdgeVotes(Plane& C, Plane& K, Plane& V);
    void DrawSketchLines();
    void RemoveLonePixels();
    void AdjustSketchDepth(const RefSwitches& sw);
    void BuildPencilLayer(int FrameNumber, const RefSwitches& sw);
    void BuildSketchOverColor();
    void MixSimilarColors();
    void DitherPencil();
    void AdjustDitherDepth(const RefSwitches& sw);
    void BuildVividLayer();
    void BuildTintLayer();
    void BuildPosterLayer();
    void BuildContrastLayer();
    void BuildSketchGrayPlanes();
};

} // namespace qfref
