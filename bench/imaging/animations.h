// Generated test animations for the imaging benchmarks: 480 x 360 pixels,
// 100 frames, either photographic-like or drawn in two colours.
#pragma once

#include "imaging/image.h"

#include <string>

namespace qf::imaging::bench {

constexpr int kWidth = 480;
constexpr int kHeight = 360;
constexpr int kFrames = 100;

enum class Content {
    Photographic, // textured gradients, soft shaded shapes moving over them
    TwoColour,    // black strokes on white paper, as the sketch variants draw
};

const char* NameOf(Content content);

// Frame i (0-based) of the animation.
RgbaImage MakeFrame(Content content, int i);

// Writes the whole animation with the imaging writer (delay 4, looping).
// Returns false and prints the error when writing fails.
bool WriteAnimation(Content content, const std::string& path);

} // namespace qf::imaging::bench
