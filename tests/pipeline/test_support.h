// Helpers for the pipeline and command-line tests: small generated GIFs,
// a scratch folder, file contents.
#pragma once

#include "imaging/image.h"
#include "pipeline/picture.h"

#include <string>
#include <vector>

namespace qf::test {

// A w x h frame with flat coloured areas, edges and a dark square that moves
// with index, so every variant has lines and colours to work on.
imaging::RgbaImage PatternFrame(int width, int height, int index);

// Writes frames as an animated GIF with the given delays and loop count;
// fails the calling test on error.
void WriteGif(const std::string& path, const std::vector<imaging::RgbaImage>& frames,
              const std::vector<int>& delays, int loopCount);

// Every frame of a GIF as the reader composites it.
std::vector<imaging::RgbaImage> ReadGifFrames(const std::string& path);

// Converts a picture to straight RGBA (opaque), as a PNG of it reads back.
imaging::RgbaImage ToRgba(const Picture& picture);

// A PNG file decoded to RGBA; fails the calling test when it cannot be read.
imaging::RgbaImage ReadPngFile(const std::string& path);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

} // namespace qf::test
