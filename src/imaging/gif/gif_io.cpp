#include "imaging/gif/gif_io.h"

#include <cerrno>

namespace qf::imaging {

namespace {

int ReadBytes(GifFileType* gif, GifByteType* buffer, int size)
{
    auto* io = static_cast<GifFileIo*>(gif->UserData);
    if (size <= 0)
        return 0;
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(size), io->file);
    if (got < static_cast<std::size_t>(size)) {
        if (std::ferror(io->file)) {
            if (io->errorCode == 0)
                io->errorCode = errno ? errno : EIO;
        } else {
            io->ended = true;
        }
    }
    if (got > 0)
        io->lastByte = buffer[got - 1];
    return static_cast<int>(got);
}

int WriteBytes(GifFileType* gif, const GifByteType* data, int size)
{
    auto* io = static_cast<GifFileIo*>(gif->UserData);
    if (size <= 0 || io->errorCode != 0)
        return 0;
    const std::size_t put = std::fwrite(data, 1, static_cast<std::size_t>(size), io->file);
    if (put != static_cast<std::size_t>(size))
        io->errorCode = errno ? errno : EIO;
    return static_cast<int>(put);
}

} // namespace

void GifReadCloser::operator()(GifFileType* gif) const
{
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
}

void GifWriteCloser::operator()(GifFileType* gif) const
{
    int ignored = 0;
    EGifCloseFile(gif, &ignored);
}

GifReadHandle OpenGifReading(GifFileIo* io, int* code)
{
    return GifReadHandle(DGifOpen(io, ReadBytes, code));
}

GifWriteHandle OpenGifWriting(GifFileIo* io, int* code)
{
    return GifWriteHandle(EGifOpen(io, WriteBytes, code));
}

} // namespace qf::imaging
