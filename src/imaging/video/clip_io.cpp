#include "imaging/video/clip_io.h"

#include "imaging/video/video_writer.h"

#include <algorithm>
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

ClipFile::~ClipFile()
{
    avformat_close_input(&format);
    IoCloser{}(io);
}

bool ClipFile::open(const std::string& path)
{
    av_log_set_level(AV_LOG_QUIET);
    constexpr int kBuffer = 1 << 16;
    auto* buffer = source.open(path.c_str()) ? static_cast<unsigned char*>(av_malloc(kBuffer)) : nullptr;
    if (!buffer)
        return false;
    io = avio_alloc_context(buffer, kBuffer, 0, &source, &ClipSource::read, nullptr, &ClipSource::seek);
    if (!io) {
        av_free(buffer);
        return false;
    }
    format = avformat_alloc_context();
    if (!format)
        return false;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = &RefuseOpen;
    format->interrupt_callback = {&ClipSource::interrupt, &source};
    format->format_whitelist = av_strdup(kClipDemuxers);
    format->protocol_whitelist = av_strdup("none");
    if (avformat_open_input(&format, "", nullptr, nullptr) < 0)
        return false; // format is freed
    return avformat_find_stream_info(format, nullptr) >= 0;
}

bool MeasureClip(const std::string& path, ClipBytes* bytes)
{
    ClipFile clip;
    if (!clip.open(path))
        return false;
    const int stream = av_find_best_stream(clip.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const PacketPtr packet(av_packet_alloc());
    if (stream < 0 || !packet)
        return false;
    std::int64_t first = -1;
    bool key = false;
    std::int64_t others = 0;
    std::int64_t count = 0;
    *bytes = {};
    while (av_read_frame(clip.format, packet.get()) >= 0) {
        bytes->packets += packet->size;
        ++bytes->packetCount;
        if (packet->stream_index == stream) {
            ++bytes->pictureCount;
            if (first < 0) {
                first = packet->size;
                key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            } else {
                others += packet->size;
                ++count;
            }
        }
        av_packet_unref(packet.get());
    }
    if (first < 0)
        return false;
    if (key)
        bytes->openingExcess = std::max<std::int64_t>(0, first - (count > 0 ? others / count : 0));
    return true;
}

} // namespace qf::imaging
