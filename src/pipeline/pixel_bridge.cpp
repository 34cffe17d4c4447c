#include "pixel_bridge.h"

#include <algorithm>
#include <cstring>

namespace qf {

// A plane row and a picture row hold the same 4-byte pixels; only the row
// order differs (planes are bottom-up, pictures top-down). Each direction is
// therefore one pass over the rows, every row moved as one block.

void PictureToPlanes(const Picture& picture, ColourPlane& planes)
{
    const int width = picture.width();
    const int height = picture.height();
    // Every byte is copied from the picture, so the planes need no zero-fill.
    planes.reshape(4, width, height);
    if (planes.empty())
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(planes.data() + planes.index(0, 0, y), picture.scanLine(height - 1 - y), rowBytes);
}

void FrameToPlanes(const imaging::RgbaImage& frame, ColourPlane& planes)
{
    const int width = frame.width > 0 && frame.height > 0 ? frame.width : 0;
    const int height = width > 0 ? frame.height : 0;
    planes.reshape(4, width, height); // every byte is written below
    if (planes.empty())
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        ReadPixels(frame.pixels.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes,
                   planes.data() + planes.index(0, 0, y), static_cast<std::size_t>(width));
}

void PlanesToPicture(const ColourPlane& planes, Picture& picture)
{
    if (planes.empty() || picture.empty() || planes.channels() < 3)
        return;
    const int channels = planes.channels();
    const int width = std::min(planes.width(), picture.width());
    const int rows = std::min(planes.height(), picture.height());
    // The block is drawn with its top row (plane row H - 1) at picture row 0.
    const int topRow = planes.height() - 1;
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* src = planes.data() + planes.index(0, 0, topRow - r);
        std::uint8_t* dst = picture.scanLine(r);
        if (channels == 4) {
            std::memcpy(dst, src, static_cast<std::size_t>(width) * 4);
            // Channel 3 is not part of the picture: the pad byte stays opaque.
            for (int x = 0; x < width; ++x)
                dst[4 * static_cast<std::size_t>(x) + 3] = 255;
        } else {
            for (int x = 0; x < width; ++x, src += channels, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 255;
            }
        }
    }
}

} // namespace qf
