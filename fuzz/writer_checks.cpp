#include "writer_checks.h"

#include "imaging/gif/gif_reader.h"
#include "imaging/gif/gif_writer.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <vector>

namespace qf::fuzz {

namespace {

// Reads the input's bytes as a stream of small decisions; runs dry into zeros.
class Choices {
public:
    Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    int upTo(int n) { return byte() % (n + 1); } // 0..n
    bool empty() const { return at_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

struct BuiltFrame {
    imaging::RgbaImage expected;     // straight RGBA, as the reader gives it back
    std::vector<std::uint8_t> bytes; // in the layout handed to the writer
    imaging::PixelLayout layout = imaging::PixelLayout::Rgba;
    std::ptrdiff_t stride = 0;
    int colours = 0; // distinct colours, transparency counting as one
};

// Frame pixels in straight RGBA from the choices.
imaging::RgbaImage MakePixels(Choices& choices, int width, int height, const imaging::RgbaImage* previous,
                              bool allowTransparency)
{
    imaging::RgbaImage image{width, height,
                             std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    const std::size_t count = static_cast<std::size_t>(width) * height;
    const int mode = choices.upTo(4);
    std::vector<std::array<std::uint8_t, 4>> palette;
    switch (mode) {
    case 0: // a few colours from the bytes
    case 1: {
        const int n = 1 + choices.upTo(mode == 0 ? 7 : 63);
        for (int i = 0; i < n; ++i) {
            palette.push_back({choices.byte(), choices.byte(), choices.byte(), 255});
        }
        break;
    }
    case 2:   // exactly 256 colours, or as many as the frame has pixels
    case 3: { // more than 256
        const std::size_t n = std::min<std::size_t>(count, mode == 2 ? 256 : 256 + 1 + choices.upTo(200));
        const std::uint8_t salt = choices.byte();
        for (std::size_t i = 0; i < n; ++i) {
            palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8 ^ salt),
                               static_cast<std::uint8_t>(i * 7 + salt), 255});
        }
        break;
    }
    default: // the previous frame, with a few pixels changed below
        break;
    }
    if (mode == 4 && previous != nullptr) {
        image.pixels = previous->pixels;
    } else {
        for (std::size_t i = 3; i < image.pixels.size(); i += 4) {
            image.pixels[i] = 255; // opaque black
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::array<std::uint8_t, 4> colour{};
        if (mode == 4) {
            if (choices.upTo(7) != 0) {
                continue;
            }
            colour = {choices.byte(), choices.byte(), choices.byte(), 255};
        } else if (mode >= 2) {
            // every colour at least once, then pixels picked by the bytes
            colour = palette[i < palette.size() ? i : choices.byte() % palette.size()];
        } else {
            colour = palette[choices.byte() % palette.size()];
        }
        std::copy(colour.begin(), colour.end(), image.pixels.begin() + static_cast<std::ptrdiff_t>(i * 4));
    }
    if (allowTransparency) {
        // Transparent runs that come and go from frame to frame.
        const int runs = choices.upTo(3);
        for (int r = 0; r < runs; ++r) {
            const std::size_t start = choices.byte() * count / 256;
            const std::size_t length = 1 + choices.byte() * count / 512;
            for (std::size_t i = start; i < std::min(count, start + length); ++i) {
                image.pixels[i * 4 + 0] = image.pixels[i * 4 + 1] = image.pixels[i * 4 + 2] = 0;
                image.pixels[i * 4 + 3] = 0;
            }
        }
    }
    return image;
}

int CountColours(const imaging::RgbaImage& image)
{
    std::set<std::uint32_t> colours;
    bool transparent = false;
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        if (image.pixels[i + 3] == 0) {
            transparent = true;
        } else {
            colours.insert(static_cast<std::uint32_t>(image.pixels[i]) << 16 | image.pixels[i + 1] << 8
                           | image.pixels[i + 2]);
        }
    }
    return static_cast<int>(colours.size()) + (transparent ? 1 : 0);
}

// The frame in the requested layout; the rows of Rgb and Bgrx may be padded.
BuiltFrame Lay(const imaging::RgbaImage& image, imaging::PixelLayout layout, int padding)
{
    BuiltFrame built;
    built.layout = layout;
    built.expected = image;
    const int bytesPerPixel = layout == imaging::PixelLayout::Rgb ? 3 : 4;
    built.stride = static_cast<std::ptrdiff_t>(image.width) * bytesPerPixel + padding;
    built.bytes.assign(static_cast<std::size_t>(built.stride) * image.height, 0xa5);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 4];
            std::uint8_t* q = &built.bytes[static_cast<std::size_t>(y * built.stride)
                                           + static_cast<std::size_t>(x) * bytesPerPixel];
            switch (layout) {
            case imaging::PixelLayout::Rgba:
                std::copy_n(p, 4, q);
                break;
            case imaging::PixelLayout::Rgb:
                std::copy_n(p, 3, q);
                break;
            case imaging::PixelLayout::Bgrx:
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
                q[3] = 0x5a; // the pad byte means nothing
                break;
            }
        }
    }
    built.colours = CountColours(image);
    return built;
}

} // namespace

std::string CheckAnimationWriter(const std::string& folder, const std::uint8_t* data, std::size_t size)
{
    Choices choices(data, size);
    const int width = 1 + choices.upTo(39);
    const int height = 1 + choices.upTo(29);
    const int frameCount = 1 + choices.upTo(5);
    const std::uint8_t flags = choices.byte();
    const int loopCount = (flags & 3) == 3 ? -1 : (flags & 3) == 2 ? 0 : flags >> 2;
    const auto layout = static_cast<imaging::PixelLayout>((flags >> 2) % 3);
    const bool transparency = layout == imaging::PixelLayout::Rgba && (flags & 0x20) != 0;
    const int padding = (flags >> 6) * 3;
    const bool abandon = (flags & 0x10) != 0 && (flags & 0x08) != 0;

    std::vector<BuiltFrame> frames;
    std::vector<int> delays;
    for (int f = 0; f < frameCount; ++f) {
        const imaging::RgbaImage image = MakePixels(
            choices, width, height, frames.empty() ? nullptr : &frames.back().expected, transparency);
        frames.push_back(Lay(image, layout, padding));
        delays.push_back(choices.upTo(255) * 3);
    }

    const std::string path = (std::filesystem::path(folder) / "out.gif").string();
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    {
        imaging::GifAnimationWriter writer;
        imaging::Error error;
        if (!writer.open(path, width, height, loopCount, &error)) {
            return "open failed: " + error.message();
        }
        for (std::size_t f = 0; f < frames.size(); ++f) {
            const BuiltFrame& frame = frames[f];
            const imaging::ImageView view{frame.bytes.data(), width, height, frame.stride, frame.layout};
            if (!writer.addFrame(view, delays[f], &error)) {
                return "addFrame failed: " + error.message();
            }
            if (abandon && f + 1 == frames.size() / 2 + 1) {
                writer.abort();
                break;
            }
        }
        if (abandon) {
            if (!std::filesystem::is_empty(folder)) {
                return "an abandoned animation left a file behind";
            }
            return {};
        }
        if (!writer.finish(&error)) {
            return "finish failed: " + error.message();
        }
    }

    imaging::GifReader reader;
    imaging::Error error;
    if (!reader.open(path, &error)) {
        return "the written animation does not open: " + error.message();
    }
    const imaging::AnimationInfo& info = reader.info();
    if (info.width != width || info.height != height || info.frameCount != frameCount) {
        return "the written animation has the wrong size or frame count";
    }
    if (info.delays != delays) {
        return "delays changed";
    }
    if (info.loopCount != loopCount) {
        return "the loop count changed";
    }
    imaging::RgbaImage decoded;
    for (int f = 0; f < frameCount; ++f) {
        if (!reader.readNext(decoded, &error)) {
            return "frame " + std::to_string(f + 1) + " does not decode: " + error.message();
        }
        const BuiltFrame& frame = frames[static_cast<std::size_t>(f)];
        if (frame.colours > 256) {
            continue;
        }
        if (decoded.pixels != frame.expected.pixels) {
            return "frame " + std::to_string(f + 1) + " of " + std::to_string(frame.colours)
                   + " colours did not come back exactly";
        }
    }
    std::filesystem::remove(path, ignored);
    if (!std::filesystem::is_empty(folder)) {
        return "the writer left a file beside the animation";
    }
    return {};
}

} // namespace qf::fuzz
