#include "contact_sheet.h"

#include "bitmap_font.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace qf {
namespace {

constexpr int kMaxThumbWidth = 320;
constexpr int kMaxThumbHeight = 240;
constexpr int kMaxEnlargement = 4;
constexpr int kMinCellWidth = 168; // room for a label of 13 characters at double size
constexpr int kMargin = 16;
constexpr int kGap = 12;
constexpr int kLabelScale = 2;
constexpr int kLabelHeight = kGlyphHeight * kLabelScale + 10;

constexpr Colour kBackground{244, 242, 236};
constexpr Colour kFrame{170, 168, 160};
constexpr Colour kInk{40, 40, 48};

void Fill(Picture& canvas, int x0, int y0, int x1, int y1, Colour colour)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, canvas.width());
    y1 = std::min(y1, canvas.height());
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            std::uint8_t* p = canvas.scanLine(y) + 4 * x;
            p[0] = colour.blue;
            p[1] = colour.green;
            p[2] = colour.red;
            p[3] = 255;
        }
}

// The label at the largest size that fits, cut short when even the small
// size does not.
void DrawLabel(Picture& canvas, int x, int y, int width, std::string_view label)
{
    int scale = kLabelScale;
    if (TextWidth(label, scale) > width)
        scale = 1;
    std::string text(label);
    while (!text.empty() && TextWidth(text, scale) > width)
        text.pop_back();
    const int glyphTop = y + (kLabelHeight - kGlyphHeight * scale) / 2;
    DrawText(canvas, x, glyphTop, text, scale, kInk);
}

} // namespace

Picture ScalePicture(const Picture& picture, int width, int height)
{
    Picture scaled(width, height);
    const int sw = picture.width();
    const int sh = picture.height();
    if (scaled.empty() || picture.empty())
        return scaled;
    for (int y = 0; y < height; ++y) {
        const int sy0 = static_cast<int>(static_cast<long long>(y) * sh / height);
        const int sy1 = std::max(sy0 + 1, static_cast<int>(static_cast<long long>(y + 1) * sh / height));
        std::uint8_t* out = scaled.scanLine(y);
        for (int x = 0; x < width; ++x, out += 4) {
            const int sx0 = static_cast<int>(static_cast<long long>(x) * sw / width);
            const int sx1 = std::max(sx0 + 1, static_cast<int>(static_cast<long long>(x + 1) * sw / width));
            unsigned long sum[3] = {0, 0, 0};
            for (int sy = sy0; sy < sy1; ++sy) {
                const std::uint8_t* in = picture.scanLine(sy) + 4 * sx0;
                for (int sx = sx0; sx < sx1; ++sx, in += 4) {
                    sum[0] += in[0];
                    sum[1] += in[1];
                    sum[2] += in[2];
                }
            }
            const unsigned long count =
                static_cast<unsigned long>(sy1 - sy0) * static_cast<unsigned long>(sx1 - sx0);
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return scaled;
}

ContactSheet::ContactSheet(int frameWidth, int frameHeight, std::string_view title)
{
    frameWidth = std::max(frameWidth, 1);
    frameHeight = std::max(frameHeight, 1);
    if (frameWidth <= kMaxThumbWidth && frameHeight <= kMaxThumbHeight) {
        // Small frames are enlarged by a whole number so their pixels stay crisp.
        const int factor = std::clamp(std::min(kMaxThumbWidth / frameWidth, kMaxThumbHeight / frameHeight), 1,
                                      kMaxEnlargement);
        thumbWidth_ = frameWidth * factor;
        thumbHeight_ = frameHeight * factor;
    } else {
        const double scale = std::min(static_cast<double>(kMaxThumbWidth) / frameWidth,
                                      static_cast<double>(kMaxThumbHeight) / frameHeight);
        thumbWidth_ = std::max(1, static_cast<int>(std::lround(frameWidth * scale)));
        thumbHeight_ = std::max(1, static_cast<int>(std::lround(frameHeight * scale)));
    }
    cellWidth_ = std::max(thumbWidth_, kMinCellWidth) + 2;
    cellHeight_ = thumbHeight_ + 2 + kLabelHeight;
    top_ = kMargin + kGlyphHeight * kLabelScale + kGap;

    const int width = 2 * kMargin + kColumns * cellWidth_ + (kColumns - 1) * kGap;
    const int height = top_ + kRows * cellHeight_ + (kRows - 1) * kGap + kMargin;
    sheet_ = Picture(width, height);
    Fill(sheet_, 0, 0, width, height, kBackground);
    DrawLabel(sheet_, kMargin, kMargin - 5, width - 2 * kMargin, title);
}

void ContactSheet::place(int cell, const Picture& picture, std::string_view label)
{
    if (cell < 0 || cell >= kCells)
        return;
    const int left = kMargin + (cell % kColumns) * (cellWidth_ + kGap);
    const int top = top_ + (cell / kColumns) * (cellHeight_ + kGap);
    // A one-pixel frame around the thumbnail, centred in its cell.
    const int thumbLeft = left + (cellWidth_ - thumbWidth_ - 2) / 2;
    Fill(sheet_, thumbLeft, top, thumbLeft + thumbWidth_ + 2, top + thumbHeight_ + 2, kFrame);
    const Picture thumb = ScalePicture(picture, thumbWidth_, thumbHeight_);
    for (int y = 0; y < thumbHeight_; ++y)
        std::copy_n(thumb.scanLine(y), 4 * static_cast<std::size_t>(thumbWidth_),
                    sheet_.scanLine(top + 1 + y) + 4 * (thumbLeft + 1));
    DrawLabel(sheet_, left + 1, top + thumbHeight_ + 2, cellWidth_ - 2, label);
}

} // namespace qf
