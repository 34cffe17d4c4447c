// PencilLayer: the line pixels of SketchLayer laid on the pencil-paper
// texture, tiled from the bottom-left corner; paper stays plain white.
// SketchOverColor (when colours are not mixed): the lines over the frame's
// own colours.
//
// A pixel is on a line when any of its SketchLayer channels is below 255.
#include "stages.h"

#include "rounding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

namespace {

inline bool OnLine(const std::uint8_t* sketch)
{
    return sketch[0] < 255 || sketch[1] < 255 || sketch[2] < 255;
}

// blend[s * 256 + t] = round(s * 0.7 + t * 0.3) in double precision.
const std::vector<std::uint8_t>& ColourBlendTable()
{
    static const std::vector<std::uint8_t> table = [] {
        std::vector<std::uint8_t> t(256 * 256);
        for (int s = 0; s < 256; ++s) {
            for (int tex = 0; tex < 256; ++tex) {
                const double v = s * 0.7 + tex * 0.3;
                t[static_cast<std::size_t>(s * 256 + tex)] = static_cast<std::uint8_t>(RoundHalfEven(v));
            }
        }
        return t;
    }();
    return table;
}

// halfSum[a + b] = round(a / 2 + b / 2), ties to even.
const std::array<std::uint8_t, 511>& HalfSumTable()
{
    static const std::array<std::uint8_t, 511> table = [] {
        std::array<std::uint8_t, 511> t{};
        for (int sum = 0; sum < 511; ++sum) {
            t[static_cast<std::size_t>(sum)] = static_cast<std::uint8_t>(RoundHalfEven(sum / 2.0));
        }
        return t;
    }();
    return table;
}

// Whether the source pixel p (of SourceCopy) differs from the frame before:
// with no frame before, or one of another size, nothing has changed.
class SourceChanges {
public:
    explicit SourceChanges(const EngineState& s)
        : current_(s.SourceCopy.data()), previous_(s.PreviousPlanes.data()),
          channels_(static_cast<std::size_t>(s.PreviousPlanes.channels())),
          known_(s.PreviousPlanes.channels() >= 3 && s.PreviousPlanes.width() == s.SourceCopy.width()
                 && s.PreviousPlanes.height() == s.SourceCopy.height())
    {}
    bool changed(std::size_t pixel) const
    {
        if (!known_) {
            return false;
        }
        const std::uint8_t* now = current_ + pixel * 3;
        const std::uint8_t* before = previous_ + pixel * channels_;
        return now[0] != before[0] || now[1] != before[1] || now[2] != before[2];
    }

private:
    const std::uint8_t* current_;
    const std::uint8_t* previous_;
    std::size_t channels_;
    bool known_;
};

} // namespace

void BuildPencilLayer(EngineState& s, int FrameNumber, bool colour, bool stillGrain)
{
    const int width = s.SketchLayer.width();
    const int height = s.SketchLayer.height();
    // Both textures are tiled with the size of the first one.
    const int tileW = s.PencilTexture.width();
    const int tileH = s.PencilTexture.height();

    // The grey form changes texture every three frames; a still grain keeps
    // the first one where the source does not change, and changes it with
    // the frames only where the source moves.
    const int phase = FrameNumber % 6;
    const ColourPlane& texture =
        (!colour && (phase == 3 || phase == 4 || phase == 5)) ? s.PencilTexture2 : s.PencilTexture;
    const ColourPlane& stillTexture = stillGrain && !colour ? s.PencilTexture : texture;
    const SourceChanges changes(s);
    // A missing or too small texture leaves the line pixels black.
    auto fits = [&](const ColourPlane& t) {
        return tileW > 0 && tileH > 0 && t.channels() >= 3 && t.width() >= tileW && t.height() >= tileH;
    };
    const bool haveTexture = fits(texture) && fits(stillTexture);
    const std::size_t texChannels = static_cast<std::size_t>(texture.channels());
    const std::size_t stillChannels = static_cast<std::size_t>(stillTexture.channels());

    const std::uint8_t* sketch = s.SketchLayer.data();
    const std::uint8_t* src = s.SourceCopy.data();
    std::uint8_t* out = s.PencilLayer.data();
    const std::uint8_t* blend = ColourBlendTable().data();
    const auto& halfSum = HalfSumTable();

    for (int y = 0; y < height; ++y) {
        const std::uint8_t* texRow = haveTexture ? texture.data() + texture.index(0, 0, y % tileH) : nullptr;
        const std::uint8_t* stillRow =
            haveTexture ? stillTexture.data() + stillTexture.index(0, 0, y % tileH) : nullptr;
        int tx = 0;
        std::size_t p = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
        for (int x = 0; x < width; ++x, p += 3) {
            if (!OnLine(sketch + p)) {
                out[p] = out[p + 1] = out[p + 2] = 255;
            } else if (!haveTexture) {
                out[p] = out[p + 1] = out[p + 2] = 0;
            } else {
                const bool still = &stillTexture != &texture && !changes.changed(p / 3);
                const std::uint8_t* t = still ? stillRow + static_cast<std::size_t>(tx) * stillChannels
                                              : texRow + static_cast<std::size_t>(tx) * texChannels;
                if (colour) {
                    for (int c = 0; c < 3; ++c) {
                        out[p + c] = blend[src[p + c] * 256 + t[c]];
                    }
                } else {
                    for (int c = 0; c < 3; ++c) {
                        out[p + c] = halfSum[sketch[p + c] + t[c]];
                    }
                }
            }
            if (++tx == tileW) {
                tx = 0;
            }
        }
    }

    if (colour) {
        BoostSaturation(s.PencilLayer, kVividSaturation);
    }
}

void BuildSketchOverColor(EngineState& s)
{
    const std::size_t bytes = s.SketchLayer.size();
    const std::uint8_t* sketch = s.SketchLayer.data();
    const std::uint8_t* src = s.SourceCopy.data();
    std::uint8_t* out = s.SketchOverColor.data();
    for (std::size_t p = 0; p < bytes; p += 3) {
        const std::uint8_t* from = OnLine(sketch + p) ? sketch + p : src + p;
        out[p] = from[0];
        out[p + 1] = from[1];
        out[p + 2] = from[2];
    }
}

} // namespace qf
