#include "imaging/video/clip_io.h"

#include <cerrno>

namespace qf::imaging {

std::int64_t SeekWithin(std::int64_t& at, std::int64_t size, std::int64_t offset, int whence)
{
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        at = offset;
        return at;
    case SEEK_CUR:
        at += offset;
        return at;
    case SEEK_END:
        at = size + offset;
        return at;
    }
    return AVERROR(EINVAL);
}

bool ClipSource::open(const char* path)
{
    file = std::fopen(path, "rb");
    return file && std::fseek(file, 0, SEEK_END) == 0 && (size = std::ftell(file)) >= 0
           && std::fseek(file, 0, SEEK_SET) == 0;
}

ClipSource::~ClipSource()
{
    if (file)
        std::fclose(file);
}

int ClipSource::read(void* opaque, std::uint8_t* buffer, int size)
{
    auto* self = static_cast<ClipSource*>(opaque);
    if (self->stopped())
        return AVERROR_EXIT;
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(size), self->file);
    if (got == 0)
        return std::ferror(self->file) ? AVERROR(EIO) : AVERROR_EOF;
    return static_cast<int>(got);
}

std::int64_t ClipSource::seek(void* opaque, std::int64_t offset, int whence)
{
    auto* self = static_cast<ClipSource*>(opaque);
    if (whence & AVSEEK_SIZE)
        return self->size;
    if (std::fseek(self->file, static_cast<long>(offset), whence & ~AVSEEK_FORCE) != 0)
        return AVERROR(EIO);
    return std::ftell(self->file);
}

int ClipSource::interrupt(void* opaque)
{
    return static_cast<ClipSource*>(opaque)->stopped() ? 1 : 0;
}

int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

} // namespace qf::imaging
