// Writes a test animation frame by frame, for the tools that draw them.
#pragma once

#include "imaging/image.h"

#include <functional>
#include <string>

namespace qf::tools {

// Writes frames frames of width x height to path, looping forever, 8/100 s a
// frame; frame(i) gives frame i (0-based), valid until the next call. Errors
// are printed; returns the exit status (0, or 4 when the file cannot be written).
int WriteGif(const std::string& path, int width, int height, int frames,
             const std::function<imaging::ImageView(int)>& frame);

} // namespace qf::tools
