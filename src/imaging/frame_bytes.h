// How the bytes of an encoded animation divide among its frames: what a
// size estimate learns from encoding a few frames once.
#pragma once

#include "imaging/animation_writer.h"
#include "imaging/errors.h"

#include <string>
#include <vector>

namespace qf::imaging {

struct FrameBytes {
    std::vector<long long> frames; // each frame's data with its own headers, in order
    long long shared = 0;          // the rest: file header, global colour table, trailer
};

// Measures the GIF or WebP animation at path. Fails (Corrupt, naming path)
// on a file that is no well-formed animation of that format.
bool MeasureFrameBytes(const std::string& path, OutputFormat format, FrameBytes* bytes, Error* error);

} // namespace qf::imaging
