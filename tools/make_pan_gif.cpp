// Makes a photographic test animation from a still picture (JPEG or PNG): a
// WIDTH x HEIGHT window glides from the top-left corner to the bottom-right
// corner of the picture's top-left AREA_W x AREA_H pixels (default: all of
// it), one step a frame, written as an animated GIF of 8/100 s a frame.
//
//   make_pan_gif PICTURE OUT.gif WIDTH HEIGHT FRAMES [AREA_W AREA_H]

#include "write_gif.h"

#include <stb_image.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 8) {
        std::cerr << "usage: make_pan_gif PICTURE OUT.gif WIDTH HEIGHT FRAMES [AREA_W AREA_H]\n";
        return 2;
    }
    int pictureWidth = 0, pictureHeight = 0, channels = 0;
    const std::unique_ptr<unsigned char, void (*)(void*)> picture(
        stbi_load(argv[1], &pictureWidth, &pictureHeight, &channels, 3), stbi_image_free);
    if (!picture) {
        std::cerr << "error: " << argv[1] << ": cannot be read as a picture (" << stbi_failure_reason()
                  << ")\n";
        return 3;
    }
    const int width = std::atoi(argv[3]), height = std::atoi(argv[4]), frames = std::atoi(argv[5]);
    const int areaWidth = argc == 8 ? std::min(std::atoi(argv[6]), pictureWidth) : pictureWidth;
    const int areaHeight = argc == 8 ? std::min(std::atoi(argv[7]), pictureHeight) : pictureHeight;
    if (width < 1 || height < 1 || frames < 1 || width > areaWidth || height > areaHeight) {
        std::cerr
            << "make_pan_gif: the window must be at least 1 x 1 and fit in the area, FRAMES at least 1\n";
        return 2;
    }

    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(pictureWidth) * 3;
    return qf::tools::WriteGif(argv[2], width, height, frames, [&](int frame) {
        const double t = frames > 1 ? static_cast<double>(frame) / (frames - 1) : 0.0;
        const int left = static_cast<int>(t * (areaWidth - width));
        const int top = static_cast<int>(t * (areaHeight - height));
        return qf::imaging::ImageView{picture.get() + top * stride + left * 3, width, height, stride,
                                      qf::imaging::PixelLayout::Rgb};
    });
}
