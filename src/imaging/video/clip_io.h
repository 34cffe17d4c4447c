// Clips as libavformat reads and writes them: bytes through our own calls on
// a file we opened, so that the library never opens a file by name, and the
// few handles every clip reader and writer holds.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace qf::imaging {

// The demuxers of moving pictures. Anything else libavformat can read
// (still pictures, playlists naming other files, raw audio) is refused.
inline constexpr const char* kClipDemuxers =
    "mov,mp4,matroska,webm,avi,apng,mpegts,flv,ogg,asf,ivf,obu,h264,hevc,m4v,mpeg,mpegvideo,nut,gif";

// Moves at, an offset in a file of size bytes, as libavformat asks (whence
// is SEEK_SET, SEEK_CUR or SEEK_END, or AVSEEK_SIZE for the size itself);
// the new offset, or an error code.
std::int64_t SeekWithin(std::int64_t& at, std::int64_t size, std::int64_t offset, int whence);

// A clip read forward from an open file, with reads refused once cancelled
// says so.
struct ClipSource {
    std::FILE* file = nullptr;
    std::int64_t size = 0;
    const std::function<bool()>* cancelled = nullptr;

    // Opens path and learns its size; false when it cannot be read.
    bool open(const char* path);
    ~ClipSource();
    bool stopped() const { return cancelled && *cancelled && (*cancelled)(); }

    static int read(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);
    static int interrupt(void* opaque);
};

// A clip opened through our own reads: neither its name nor any file it
// names is ever opened by the library.
struct ClipFile {
    ClipSource source;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;

    ClipFile() = default;
    ClipFile(const ClipFile&) = delete;
    ClipFile& operator=(const ClipFile&) = delete;
    ~ClipFile();
    bool stopped() const { return source.stopped(); }
    // Opens path and reads its streams' descriptions; false when it is not
    // a clip that can be read.
    bool open(const std::string& path);
};

// Other files are never opened on a clip's behalf (a playlist or a
// reference in the container would name them).
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**);

// A library call that failed for want of memory, or of a thread the system
// would not start (whose stack it could not map): not a fault of the file.
inline bool OutOfRoom(int code)
{
    return code == AVERROR(ENOMEM) || code == AVERROR(EAGAIN);
}

struct CodecCloser {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct IoCloser {
    void operator()(AVIOContext* io) const
    {
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameCloser>;
using PacketPtr = std::unique_ptr<AVPacket, PacketCloser>;

} // namespace qf::imaging
