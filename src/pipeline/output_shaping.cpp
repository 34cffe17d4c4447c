#include "output_shaping.h"

#include "imaging/errors.h"
#include "imaging/size_limits.h"

namespace qf {

bool RenderSize(const std::string& file, const imaging::AnimationInfo& info, int keptFrames,
                const imaging::ResizeRequest& request, imaging::Size* size, imaging::Error* error)
{
    *size = request.any() ? imaging::ResizedSize(info.width, info.height, request)
                          : imaging::Size{info.width, info.height};
    if (!imaging::WithinSizeLimits(size->width, size->height))
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, file,
                             "resized to " + imaging::BeyondSizeLimits(size->width, size->height));
    const std::int64_t area = static_cast<std::int64_t>(size->width) * size->height;
    const std::string kind = info.video() ? "a video" : "an animation";
    if (area > static_cast<std::int64_t>(info.width) * info.height
        && area > imaging::PictureLimit(info.fileBytes))
        return imaging::Fail(
            error, imaging::ErrorKind::TooLarge, file,
            "resized to " + imaging::BeyondPictureLimit(size->width, size->height, info.fileBytes, kind));
    const std::int64_t rendered = static_cast<std::int64_t>(std::max(keptFrames, 0)) * area;
    const std::int64_t work = info.video() ? info.work + rendered : std::max(info.work, rendered);
    // An animation's frames are allowed for themselves up to full HD, as
    // its reader allows them when composed.
    const std::int64_t limit = info.video() ? imaging::WorkLimit(info.fileBytes)
                                            : imaging::AnimationWorkLimit(info.fileBytes, keptFrames, area);
    if (work > limit && work > info.work)
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, file,
                             "is " + kind + " whose " + std::to_string(keptFrames) + " frames rendered at "
                                 + std::to_string(size->width) + " x " + std::to_string(size->height)
                                 + " pixels ask for " + std::to_string(work / 1'000'000)
                                 + " megapixels of work, more than the " + std::to_string(limit / 1'000'000)
                                 + " allowed a file of " + std::to_string(info.fileBytes) + " bytes"
                                 + (info.video() ? "" : " and " + std::to_string(keptFrames) + " frames"));
    return true;
}

const imaging::RgbaImage& SizedFrame(const imaging::RgbaImage& decoded, imaging::Size size,
                                     imaging::RgbaImage& resized)
{
    if (decoded.width == size.width && decoded.height == size.height)
        return decoded;
    imaging::Resize(decoded, size.width, size.height, resized);
    return resized;
}

void KeepTransparency(const Picture& rendered, const imaging::RgbaImage& frame, imaging::RgbaImage& output)
{
    output.width = rendered.width();
    output.height = rendered.height();
    const std::size_t count =
        static_cast<std::size_t>(output.width) * static_cast<std::size_t>(output.height);
    output.pixels.resize(count * 4);
    const std::uint8_t* colour = rendered.data();
    const std::uint8_t* alpha = frame.pixels.data() + 3;
    std::uint8_t* out = output.pixels.data();
    for (std::size_t i = 0; i < count; ++i, colour += 4, alpha += 4, out += 4) {
        out[0] = colour[2];
        out[1] = colour[1];
        out[2] = colour[0];
        out[3] = *alpha;
    }
}

} // namespace qf
