// The writer of each format, apart from the checks all writers share
// (animation_writer.cpp), which the clip module carries too: it carries no
// GIF or WebP writer with them.
#include "imaging/animation_writer.h"

#include "imaging/clip_module.h"
#include "imaging/gif/gif_writer.h"
#include "imaging/webp/webp_writer.h"

#include <algorithm>

namespace qf::imaging {

std::unique_ptr<AnimationWriter> MakeAnimationWriter(const OutputSettings& settings)
{
    switch (settings.format) {
    case OutputFormat::Webp:
        return std::make_unique<WebpWriter>(settings.quality);
    case OutputFormat::Mp4:
    case OutputFormat::Webm:
        return MakeClipWriter(settings);
    case OutputFormat::Gif:
        break;
    }
    auto gif = std::make_unique<GifAnimationWriter>(settings.mergeRepeats);
    gif->setQuality(std::min(settings.quality, kBestQuality));
    return gif;
}

} // namespace qf::imaging
