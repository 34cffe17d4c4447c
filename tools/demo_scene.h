// The demo animation: a cottage on a meadow under a turning sun, drifting
// clouds, smoke, birds and a bouncing beach ball. Flat colours and crisp
// edges, so that every effect variant has lines to draw, areas to fill and
// colours to mix. The scene is laid out on a 320 x 240 stage and drawn at any
// size, so the benchmarks can ask for large animations too; frame
// frameCount would equal frame 0, so the animation loops seamlessly.
#pragma once

#include <cstdint>
#include <vector>

namespace qf::demo {

// Frame frame (0-based) of frameCount as RGB bytes, top row first.
std::vector<std::uint8_t> DrawScene(int width, int height, int frame, int frameCount);

} // namespace qf::demo
