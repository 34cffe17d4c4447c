#include "write_gif.h"

#include "imaging/gif/gif_writer.h"

#include <iostream>

namespace qf::tools {

int WriteGif(const std::string& path, int width, int height, int frames,
             const std::function<imaging::ImageView(int)>& frame)
{
    imaging::GifAnimationWriter writer;
    imaging::Error error;
    bool ok = writer.open(path, width, height, 0, &error);
    for (int i = 0; ok && i < frames; ++i)
        ok = writer.addFrame(frame(i), 8, &error);
    if (!ok || !writer.finish(&error)) {
        std::cerr << "error: " << error.message() << "\n";
        return 4;
    }
    return 0;
}

} // namespace qf::tools
