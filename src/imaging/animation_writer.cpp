#include "imaging/animation_writer.h"

#include "imaging/errors.h"
#include "imaging/size_limits.h"

#include <algorithm>
#include <cmath>

namespace qf::imaging {

bool CheckAnimation(const std::string& path, int width, int height, int maxSide, int loopCount, Error* error)
{
    if (width < 1 || height < 1)
        return Fail(error, ErrorKind::InvalidArgument, path,
                    "cannot hold frames of " + std::to_string(width) + " x " + std::to_string(height)
                        + " pixels");
    if (!WithinSizeLimits(width, height, maxSide))
        return Fail(error, ErrorKind::TooLarge, path,
                    "cannot hold frames of " + BeyondSizeLimits(width, height, maxSide));
    if (loopCount < -1 || loopCount > kMaxLoopCount)
        return Fail(error, ErrorKind::InvalidArgument, path,
                    "cannot store the loop count " + std::to_string(loopCount) + " (0 to "
                        + std::to_string(kMaxLoopCount) + ")");
    return true;
}

bool CheckFrame(const std::string& path, int number, int width, int height, int delay, int animationWidth,
                int animationHeight, Error* error, int maxDelay)
{
    if (width != animationWidth || height != animationHeight)
        return Fail(error, ErrorKind::InvalidArgument, path,
                    "frame " + std::to_string(number) + " is " + std::to_string(width) + " x "
                        + std::to_string(height) + " pixels, the animation " + std::to_string(animationWidth)
                        + " x " + std::to_string(animationHeight));
    if (delay < 0 || delay > maxDelay)
        return Fail(error, ErrorKind::InvalidArgument, path,
                    "cannot store the delay " + std::to_string(delay) + " of frame " + std::to_string(number)
                        + " (0 to " + std::to_string(maxDelay) + " hundredths of a second)");
    return true;
}

int LongestDelay(OutputFormat format)
{
    // A WebP frame's duration is 24 bits of milliseconds, and libwebp takes
    // less than all ones.
    constexpr int kWebpLongestMs = (1 << 24) - 2;
    return format == OutputFormat::Webp ? kWebpLongestMs / 10 : kMaxDelay;
}

double RateFactorFor(OutputFormat format, int quality, WebmCodec codec)
{
    // A clip's default quality.
    constexpr int kDefaultQuality = 70;
    const int q = quality < 0 || quality > 100 ? kDefaultQuality : std::max(quality, 1);
    // Linear in quality: 70 gives VP9's usual 32 and SVT-AV1's 35, where
    // its pictures match VP9's at half the size (both take whole factors),
    // and H.264 22.8 in tenths, a little under its usual 23: on grainy
    // film-like sketches that is what keeps 38 dB at a tenth of the GIF
    // where the clip allows it.
    if (format == OutputFormat::Webm)
        return std::nearbyint(codec == WebmCodec::Av1 ? 63.0 - 0.4 * q : 63.0 - 0.45 * q);
    return std::nearbyint(10 * (50.8 - 0.4 * q)) / 10;
}

} // namespace qf::imaging
