#include "animation_writer.h"

#include "gif_writer.h"
#include "webp_writer.h"

namespace qf::imaging {

std::unique_ptr<AnimationWriter> MakeAnimationWriter(const OutputSettings& settings)
{
    switch (settings.format) {
    case OutputFormat::Webp:
        return std::make_unique<WebpWriter>(settings.quality);
    case OutputFormat::Gif:
        break;
    }
    return std::make_unique<GifAnimationWriter>();
}

} // namespace qf::imaging
