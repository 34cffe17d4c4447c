// Draws the bundled demo animation (see demo_scene.h) into a GIF.
//
//   make_demo_gif OUT.gif [WIDTH HEIGHT FRAMES]   (default 320 240 32)

#include "demo_scene.h"
#include "imaging/gif_writer.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 5) {
        std::cerr << "usage: make_demo_gif OUT.gif [WIDTH HEIGHT FRAMES]\n";
        return 2;
    }
    const std::string output = argv[1];
    int width = 320, height = 240, frames = 32;
    if (argc == 5) {
        width = std::atoi(argv[2]);
        height = std::atoi(argv[3]);
        frames = std::atoi(argv[4]);
        if (width < 1 || height < 1 || frames < 1 || width > 4096 || height > 4096) {
            std::cerr << "make_demo_gif: WIDTH and HEIGHT must be 1-4096 and FRAMES at least 1\n";
            return 2;
        }
    }

    qf::imaging::AnimationWriter writer;
    qf::imaging::Error error;
    if (!writer.open(output, width, height, 0, &error)) {
        std::cerr << "error: " << error.message() << "\n";
        return 4;
    }
    for (int frame = 0; frame < frames; ++frame) {
        const std::vector<std::uint8_t> pixels = qf::demo::DrawScene(width, height, frame, frames);
        const qf::imaging::ImageView view{pixels.data(), width, height,
                                          static_cast<std::ptrdiff_t>(width) * 3, qf::imaging::PixelLayout::Rgb};
        if (!writer.addFrame(view, 8, &error)) {
            std::cerr << "error: " << error.message() << "\n";
            return 4;
        }
    }
    if (!writer.finish(&error)) {
        std::cerr << "error: " << error.message() << "\n";
        return 4;
    }
    return 0;
}
