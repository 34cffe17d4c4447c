// giflib reads and writes through callbacks; these connect it to a FILE* and
// keep what giflib's own error codes lose: whether a short read was the end
// of the file, the system's error, and the last byte read.
#pragma once

#include <gif_lib.h>

#include <cstdio>
#include <memory>

namespace qf::imaging {

struct GifFileIo {
    std::FILE* file = nullptr;
    bool ended = false; // a read came back short: the file ends here
    int errorCode = 0;  // the first errno of a failed read or write, 0 for none
    int lastByte = -1;  // the last byte handed to giflib
};

struct GifReadCloser {
    void operator()(GifFileType* gif) const;
};
struct GifWriteCloser {
    void operator()(GifFileType* gif) const;
};
using GifReadHandle = std::unique_ptr<GifFileType, GifReadCloser>;
using GifWriteHandle = std::unique_ptr<GifFileType, GifWriteCloser>;

// giflib handles reading from or writing to io, which must outlive them.
// Null on failure, with giflib's error code in *code.
GifReadHandle OpenGifReading(GifFileIo* io, int* code);
GifWriteHandle OpenGifWriting(GifFileIo* io, int* code);

} // namespace qf::imaging
