// What a GIF quality level from 1 to 100 turns into: the settings of every
// lever the frame encoder has. 100 is the near-lossless default; each level
// below it gives up a little more fidelity for fewer bytes.
#pragma once

#include <algorithm>
#include <cmath>

namespace qf::imaging {

constexpr int kBestQuality = 100;

struct GifLevels {
    int quality = kBestQuality;
    // The quantiser: at most this many colours, its own quality target
    // (libimagequant's 0-100 scale, it uses fewer colours when it reaches
    // it) and the strength of the error diffusion when pixels are mapped to
    // the colours chosen (MapToPalette). Below the best level frames of
    // at most 256 colours are reduced too, but no pixel of theirs lands
    // further than colourTolerance from its own colour in any channel.
    int colours = 256;
    int quantiserTarget = 100;
    float dithering = 0.5f;
    int colourTolerance = 0;
    // A pixel whose channels all changed by at most this much since the
    // last frame keeps what it showed, so it turns transparent.
    int stillTolerance = 0;
    // A pixel keeps what a decoder already shows when that is at most this
    // much further (in summed squares of the channel differences) from the
    // wanted colour than the colour it would be drawn with.
    int keepSlack = 0;
    // A compression code may stand for a run of pixels whose colours each
    // lie within this distance of the wanted ones (the root of the summed
    // squares of the channel differences).
    int lossyTolerance = 0;
    // A frame is reduced to the colours chosen for the first frame of its
    // run (see SharedColours) while its pixels lie at most this fraction
    // further from them than that frame's did; otherwise it begins the next
    // run, or gets colours of its own (see GifAnimationWriter).
    float paletteReuse = 0.1f;

    bool lossless() const { return quality >= kBestQuality; }
    // How far a pixel of an animation whose frames have at most 256 colours
    // may come out from its own colour in any channel. A drawn pixel lands
    // within the colour or the lossy tolerance of the frame's colour (held
    // still); one that keeps what is shown is within the colour tolerance
    // of what the decoder was told it shows, which is itself off by at most
    // the colour plus the lossy tolerance.
    int maxChannelError() const
    {
        return lossless() ? 0 : stillTolerance + lossyTolerance + 2 * colourTolerance;
    }
};

inline GifLevels LevelsFor(int quality)
{
    GifLevels levels;
    levels.quality = std::clamp(quality, 1, kBestQuality);
    if (levels.lossless())
        return levels;
    const int loss = kBestQuality - levels.quality; // 1 to 99
    // Half the scale keeps every colour and spends the loss on runs, kept
    // pixels and a gently falling quantiser target; below it the target
    // falls fast and the palette shrinks too, to 32 colours at 1.
    levels.colours = levels.quality >= 50
                         ? 256
                         : static_cast<int>(std::lround(32.0 * std::pow(8.0, (levels.quality - 1) / 49.0)));
    levels.quantiserTarget = loss <= 50 ? 100 - loss / 5 : 90 - (loss - 50);
    levels.dithering = levels.quality >= 50 ? 0.5f : 0.3f + 0.2f * static_cast<float>(levels.quality) / 50.0f;
    levels.colourTolerance = 6 + loss / 4;
    levels.stillTolerance = loss / 16;
    levels.keepSlack = 3 * loss;
    levels.lossyTolerance = 2 + loss / 5;
    return levels;
}

} // namespace qf::imaging
