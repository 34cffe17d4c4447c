#include "output_shaping.h"

#include "imaging/errors.h"
#include "imaging/size_limits.h"

namespace qf {

bool RenderSize(const std::string& file, int width, int height, std::int64_t work,
                const imaging::ResizeRequest& request, imaging::Size* size, imaging::Error* error)
{
    *size = request.any() ? imaging::ResizedSize(width, height, request) : imaging::Size{width, height};
    if (!imaging::WithinSizeLimits(size->width, size->height))
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, file,
                             "resized to " + imaging::BeyondSizeLimits(size->width, size->height));
    // Enlarged frames cost more work than the file was allowed; they may
    // take no more than any file may.
    const double growth =
        static_cast<double>(size->width) * size->height / (static_cast<double>(width) * height);
    if (growth > 1 && static_cast<double>(work) * growth > static_cast<double>(imaging::kMaxWork))
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, file,
                             "resized to " + std::to_string(size->width) + " x "
                                 + std::to_string(size->height) + " pixels, asks for more than "
                                 + std::to_string(imaging::kMaxWork / 1'000'000'000)
                                 + " gigapixels of work, the limit");
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
