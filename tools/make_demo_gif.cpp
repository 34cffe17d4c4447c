// Draws the bundled demo animation (see demo_scene.h) into a GIF.
//
//   make_demo_gif OUT.gif [WIDTH HEIGHT FRAMES [CYCLE]]   (default 320 240 32)
//
// CYCLE is the number of frames the scene takes to come round (default
// FRAMES): 640 frames with a cycle of 32 are the 32-frame demo 20 times over.

#include "demo_scene.h"
#include "write_gif.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 5 && argc != 6) {
        std::cerr << "usage: make_demo_gif OUT.gif [WIDTH HEIGHT FRAMES [CYCLE]]\n";
        return 2;
    }
    const std::string output = argv[1];
    int width = 320, height = 240, frames = 32;
    if (argc >= 5) {
        width = std::atoi(argv[2]);
        height = std::atoi(argv[3]);
        frames = std::atoi(argv[4]);
        if (width < 1 || height < 1 || frames < 1 || width > 4096 || height > 4096) {
            std::cerr << "make_demo_gif: WIDTH and HEIGHT must be 1-4096 and FRAMES at least 1\n";
            return 2;
        }
    }
    const int cycle = argc == 6 ? std::atoi(argv[5]) : frames;
    if (cycle < 1) {
        std::cerr << "make_demo_gif: CYCLE must be at least 1\n";
        return 2;
    }

    std::vector<std::uint8_t> pixels;
    return qf::tools::WriteGif(output, width, height, frames, [&](int frame) {
        pixels = qf::demo::DrawScene(width, height, frame % cycle, cycle);
        return qf::imaging::ImageView{pixels.data(), width, height, static_cast<std::ptrdiff_t>(width) * 3,
                                      qf::imaging::PixelLayout::Rgb};
    });
}
