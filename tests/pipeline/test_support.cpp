#include "test_support.h"

#include "imaging/gif_reader.h"
#include "imaging/gif_writer.h"
#include "imaging/png_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <tuple>

namespace qf::test {

imaging::RgbaImage PatternFrame(int width, int height, int index)
{
    imaging::RgbaImage frame;
    frame.width = width;
    frame.height = height;
    frame.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    const int squareX = 3 + (index * 3) % std::max(1, width - 14);
    const int squareY = height / 3;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &frame.pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            std::uint8_t r, g, b;
            if (y < height / 2)
                std::tie(r, g, b) = x < width / 2 ? std::tuple{200, 60, 50} : std::tuple{40, 120, 200};
            else
                std::tie(r, g, b) = x < width / 2 ? std::tuple{240, 220, 80} : std::tuple{60, 160, 70};
            const int dx = x - width * 3 / 4, dy = y - height * 3 / 4;
            if (dx * dx + dy * dy < 25)
                std::tie(r, g, b) = std::tuple{250, 250, 250};
            if (x >= squareX && x < squareX + 10 && y >= squareY && y < squareY + 10)
                std::tie(r, g, b) = std::tuple{20, 20, 30};
            p[0] = r;
            p[1] = g;
            p[2] = b;
            p[3] = 255;
        }
    return frame;
}

void WriteGif(const std::string& path, const std::vector<imaging::RgbaImage>& frames,
              const std::vector<int>& delays, int loopCount)
{
    ASSERT_FALSE(frames.empty());
    ASSERT_EQ(frames.size(), delays.size());
    imaging::AnimationWriter writer;
    imaging::Error error;
    ASSERT_TRUE(writer.open(path, frames[0].width, frames[0].height, loopCount, &error)) << error.message();
    for (std::size_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(frames[i]), delays[i], &error)) << error.message();
    ASSERT_TRUE(writer.finish(&error)) << error.message();
}

std::vector<imaging::RgbaImage> ReadGifFrames(const std::string& path)
{
    std::vector<imaging::RgbaImage> frames;
    imaging::GifReader reader;
    imaging::Error error;
    EXPECT_TRUE(reader.open(path, &error)) << error.message();
    imaging::RgbaImage frame;
    while (reader.readNext(frame, &error))
        frames.push_back(frame);
    EXPECT_FALSE(error) << error.message();
    return frames;
}

imaging::RgbaImage ToRgba(const Picture& picture)
{
    imaging::RgbaImage rgba;
    rgba.width = picture.width();
    rgba.height = picture.height();
    rgba.pixels.resize(static_cast<std::size_t>(rgba.width) * rgba.height * 4);
    for (int y = 0; y < rgba.height; ++y)
        for (int x = 0; x < rgba.width; ++x) {
            const std::uint8_t* in = picture.scanLine(y) + 4 * x;
            std::uint8_t* out = &rgba.pixels[(static_cast<std::size_t>(y) * rgba.width + x) * 4];
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = 255;
        }
    return rgba;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

imaging::RgbaImage ReadPngFile(const std::string& path)
{
    const std::string bytes = ReadBytes(path);
    imaging::RgbaImage image;
    imaging::Error error;
    EXPECT_TRUE(imaging::DecodePng(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), image, &error))
        << path << ": " << error.message();
    return image;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quillframe-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace qf::test
