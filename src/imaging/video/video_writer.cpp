#include "video_writer.h"

#include "imaging/errors.h"
#include "imaging/files/atomic_file.h"
#include "imaging/size_limits.h"
#include "imaging/video/clip_io.h"
#include "sound_track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unistd.h>
#include <vector>

namespace qf::imaging {

namespace {

// Players show frames of 0 and 1 hundredth for a tenth of a second.
constexpr int kShortestShown = 2;
constexpr int kShownInstead = 10;
// Both codecs take sides up to this.
constexpr int kMaxVideoSide = 16384;

struct ScaleCloser {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};

// The temporary file as libavformat writes it: at an offset of our own
// through the descriptor, so that +faststart can read back what it wrote
// through a second context on the same file, which has no name.
struct FileSink {
    int fd = -1;
    std::int64_t at = 0;
    std::int64_t size = 0;
    int error = 0; // errno of the first failed write

    static int write(void* opaque, std::uint8_t* buffer, int size)
    {
        auto* self = static_cast<FileSink*>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t put =
                ::pwrite(self->fd, buffer + done, static_cast<std::size_t>(size - done), self->at + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                if (!self->error)
                    self->error = put < 0 ? errno : ENOSPC;
                return AVERROR(self->error);
            }
            done += static_cast<int>(put);
        }
        self->at += size;
        self->size = std::max(self->size, self->at);
        return size;
    }
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* self = static_cast<FileSink*>(opaque);
        return SeekWithin(self->at, self->size, offset, whence);
    }
};

// Reading back the file written (for +faststart), with its own offset.
struct FileSource {
    int fd = -1;
    std::int64_t at = 0;
    std::int64_t size = 0;

    static int read(void* opaque, std::uint8_t* buffer, int size)
    {
        auto* self = static_cast<FileSource*>(opaque);
        const ssize_t got = ::pread(self->fd, buffer, static_cast<std::size_t>(size), self->at);
        if (got < 0)
            return AVERROR(errno);
        if (got == 0)
            return AVERROR_EOF;
        self->at += got;
        return static_cast<int>(got);
    }
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* self = static_cast<FileSource*>(opaque);
        return SeekWithin(self->at, self->size, offset, whence);
    }
};

AVIOContext* NewContext(void* opaque, bool write, bool seekable)
{
    constexpr int kBuffer = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
    if (!buffer)
        return nullptr;
    AVIOContext* io =
        write ? avio_alloc_context(buffer, kBuffer, 1, opaque, nullptr, &FileSink::write,
                                   seekable ? &FileSink::seek : nullptr)
              : avio_alloc_context(buffer, kBuffer, 0, opaque, &FileSource::read, nullptr, &FileSource::seek);
    if (!io)
        av_free(buffer);
    return io;
}

void FreeContext(AVIOContext*& io)
{
    if (io) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

// The file's own name is the one thing the muxer reopens (to read back
// for +faststart); nothing else is opened.
int OpenReadBack(AVFormatContext* ctx, AVIOContext** pb, const char* url, int flags, AVDictionary**)
{
    auto* sink = static_cast<FileSink*>(ctx->opaque);
    if (!(flags & AVIO_FLAG_READ) || (flags & AVIO_FLAG_WRITE) || std::strcmp(url, ctx->url) != 0)
        return AVERROR(EPERM);
    auto* source = new (std::nothrow) FileSource{sink->fd, 0, sink->size};
    if (!source)
        return AVERROR(ENOMEM);
    *pb = NewContext(source, false, true);
    if (!*pb) {
        delete source;
        return AVERROR(ENOMEM);
    }
    return 0;
}

int CloseReadBack(AVFormatContext*, AVIOContext* pb)
{
    if (pb) {
        delete static_cast<FileSource*>(pb->opaque);
        FreeContext(pb);
    }
    return 0;
}

AVPixelFormat PixelFormatOf(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Rgb:
        return AV_PIX_FMT_RGB24;
    case PixelLayout::Bgrx:
        return AV_PIX_FMT_BGR0;
    case PixelLayout::Rgba:
        break;
    }
    return AV_PIX_FMT_RGBA;
}

int BytesPerPixel(PixelLayout layout)
{
    return layout == PixelLayout::Rgb ? 3 : 4;
}

// A frame in the stages: its picture in YUV at the clip's even size.
struct VideoOutputFrame : OutputFrame {
    FramePtr yuv{av_frame_alloc()};
    std::unique_ptr<SwsContext, ScaleCloser> scaler;
    std::vector<std::uint8_t> padded; // a picture of odd sides, its last column and row repeated
    int width = 0;                    // of the picture taken
    int height = 0;
    bool ready = false;
};

// The AV1 encoder waits forever, when closed or ended, for a picture it has
// not been given: one that is dropped before its first (a conversion
// cancelled or failed at the start) is given a black one, which it encodes
// and ends with, and everything it makes of it is thrown away.
void EndUnusedAv1(AVCodecContext& encoder, AVPacket& packet)
{
    const std::unique_ptr<AVFrame, void (*)(AVFrame*)> black(av_frame_alloc(),
                                                             [](AVFrame* f) { av_frame_free(&f); });
    if (!black)
        return;
    black->format = encoder.pix_fmt;
    black->width = encoder.width;
    black->height = encoder.height;
    black->pts = 0;
    if (av_frame_get_buffer(black.get(), 0) < 0)
        return;
    for (int plane = 0; plane < 3; ++plane)
        std::memset(black->data[plane], plane == 0 ? 16 : 128,
                    static_cast<std::size_t>(black->linesize[plane])
                        * (plane == 0 ? encoder.height : (encoder.height + 1) / 2));
    if (avcodec_send_frame(&encoder, black.get()) < 0 || avcodec_send_frame(&encoder, nullptr) < 0)
        return;
    while (avcodec_receive_packet(&encoder, &packet) >= 0)
        av_packet_unref(&packet);
}

} // namespace

struct VideoWriter::Impl {
    OutputSettings settings;
    std::unique_ptr<SoundPart> soundPart;
    std::string path;
    int width = 0; // of the frames given
    int height = 0;
    int frames = 0;                        // linked
    int encoded = 0;                       // frames whose data is in the file
    std::int64_t pts = 0;                  // hundredths at the start of the next frame
    std::map<std::int64_t, int> durations; // of frames sent, by their start
    AtomicFile file;
    FileSink sink;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    CodecPtr encoder;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    std::unique_ptr<EncodedSound> sound;
    std::size_t soundNext = 0; // the next sound packet to write
    PacketPtr packet{av_packet_alloc()};
    PacketPtr soundPacket{av_packet_alloc()};
    bool headerWritten = false;

    void close()
    {
        if (encoder && avcodec_is_open(encoder.get()) && packet && frames == 0
            && encoder->codec_id == AV_CODEC_ID_AV1)
            EndUnusedAv1(*encoder, *packet);
        encoder.reset();
        if (format) {
            avformat_free_context(format);
            format = nullptr;
        }
        FreeContext(io);
        sound.reset();
        soundNext = 0;
        durations.clear();
        headerWritten = false;
    }

    bool failed(Error* error, const std::string& what)
    {
        const int code = sink.error;
        close();
        file.discard();
        if (code)
            return Fail(error, ErrorKind::Unwritable, path, WriteReason(code));
        return Fail(error, ErrorKind::LibraryFailed, path, what);
    }

    bool openEncoder(Error* error);
    // The sound, cut and encoded; then its stream, after the pictures'.
    bool encodeSound(Error* error);
    bool addSoundStream(Error* error);
    // Writes the sound up to time (seconds), or all of it.
    bool writeSound(double until);
    // Takes what the encoder has ready (all of it after the end was sent).
    bool drain();
};

bool VideoWriter::Impl::openEncoder(Error* error)
{
    const bool mp4 = settings.format == OutputFormat::Mp4;
    const bool av1 = !mp4 && settings.webmCodec == WebmCodec::Av1;
    const char* const name = mp4 ? "H.264" : av1 ? "AV1" : "VP9";
    const AVCodec* codec = avcodec_find_encoder_by_name(mp4 ? "libx264" : av1 ? "libsvtav1" : "libvpx-vp9");
    if (!codec)
        return Fail(error, ErrorKind::LibraryFailed, path,
                    std::string("cannot be written: this build of libavcodec has no ") + name + " encoder");
    encoder.reset(avcodec_alloc_context3(codec));
    if (!encoder)
        return FailOutOfMemory(error, path);
    AVCodecContext& enc = *encoder;
    enc.width = (width + 1) & ~1;
    enc.height = (height + 1) & ~1;
    enc.pix_fmt = AV_PIX_FMT_YUV420P;
    enc.time_base = {1, 100};
    enc.framerate = {25, 1}; // a guess for the rate control; the times are the frames' own
    enc.sample_aspect_ratio = {1, 1};
    enc.color_range = AVCOL_RANGE_MPEG;
    enc.colorspace = AVCOL_SPC_BT709;
    enc.color_primaries = AVCOL_PRI_BT709;
    enc.color_trc = AVCOL_TRC_BT709;
    enc.thread_count = settings.encoderThreads;
    enc.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (mp4) {
        // Slow rather than medium: 1-4% smaller at the same fidelity on
        // grainy sketches, for about 1.5 times the encoder's time.
        av_dict_set(&options, "preset", "slow", 0);
        av_dict_set(&options, "profile", "high", 0);
    } else if (av1) {
        // Preset 8 takes about as much processor time as VP9 at cpu-used 4.
        av_dict_set(&options, "preset", "8", 0);
        enc.gop_size = kAv1KeyInterval;
    } else {
        av_dict_set(&options, "deadline", "good", 0);
        av_dict_set(&options, "cpu-used", "4", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        av_dict_set(&options, "tile-columns", "2", 0);
    }
    if (settings.videoBitRate > 0) {
        enc.bit_rate = settings.videoBitRate;
        if (mp4 && settings.pass > 0) {
            enc.flags |= settings.pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
            av_dict_set(&options, "stats", settings.passLog.c_str(), 0);
        }
    } else {
        enc.bit_rate = 0;
        // As a number, not text: a window's locale may write 22.8 as 22,8.
        if (av_opt_set_double(enc.priv_data, "crf",
                              RateFactorFor(settings.format, settings.quality, settings.webmCodec), 0)
            < 0)
            return Fail(error, ErrorKind::LibraryFailed, path,
                        std::string("cannot be written: the ") + name + " encoder takes no rate factor");
    }
    const int opened = avcodec_open2(&enc, codec, &options);
    av_dict_free(&options);
    if (OutOfRoom(opened))
        return FailOutOfMemory(error, path);
    if (opened < 0)
        return Fail(error, ErrorKind::LibraryFailed, path,
                    std::string("cannot be written: the ") + name + " encoder refused to start");
    videoStream = avformat_new_stream(format, nullptr);
    if (!videoStream || avcodec_parameters_from_context(videoStream->codecpar, &enc) < 0)
        return FailOutOfMemory(error, path);
    videoStream->time_base = enc.time_base;
    return true;
}

bool VideoWriter::Impl::encodeSound(Error* error)
{
    if (!soundPart)
        return true;
    const bool mp4 = settings.format == OutputFormat::Mp4;
    sound = std::make_unique<EncodedSound>();
    const int rate = settings.soundBitRate > 0 ? settings.soundBitRate : mp4 ? 128000 : 96000;
    if (!EncodeSound(*soundPart, mp4 ? SoundCodec::Aac : SoundCodec::Opus, rate, sound.get(), error))
        return false;
    if (!sound->parameters()) // the clip has no sound
        sound.reset();
    return true;
}

bool VideoWriter::Impl::addSoundStream(Error* error)
{
    if (!sound)
        return true;
    soundStream = avformat_new_stream(format, nullptr);
    if (!soundStream || avcodec_parameters_copy(soundStream->codecpar, sound->parameters()) < 0)
        return FailOutOfMemory(error, path);
    soundStream->time_base = {1, sound->sampleRate()};
    return true;
}

bool VideoWriter::Impl::writeSound(double until)
{
    if (!sound)
        return true;
    const AVRational from{1, sound->sampleRate()};
    for (; soundNext < sound->packets().size(); ++soundNext) {
        const AVPacket* encoded = sound->packets()[soundNext];
        if (until >= 0 && static_cast<double>(encoded->pts) * av_q2d(from) > until)
            break;
        if (av_packet_ref(soundPacket.get(), encoded) < 0)
            return false;
        soundPacket->stream_index = soundStream->index;
        av_packet_rescale_ts(soundPacket.get(), from, soundStream->time_base);
        if (av_interleaved_write_frame(format, soundPacket.get()) < 0)
            return false;
    }
    return true;
}

bool VideoWriter::Impl::drain()
{
    for (;;) {
        const int got = avcodec_receive_packet(encoder.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return false;
        const auto duration = durations.find(packet->pts);
        if (duration != durations.end()) {
            packet->duration = duration->second;
            durations.erase(duration);
        }
        const double at = static_cast<double>(packet->dts) / 100.0;
        packet->stream_index = videoStream->index;
        av_packet_rescale_ts(packet.get(), encoder->time_base, videoStream->time_base);
        // The sound of the next second goes in with the pictures.
        if (!writeSound(at + 1.0) || av_interleaved_write_frame(format, packet.get()) < 0)
            return false;
        ++encoded;
    }
}

VideoWriter::VideoWriter(const OutputSettings& settings) : impl_(std::make_unique<Impl>())
{
    // What goes wrong is told through Error, not the libraries' messages.
    // SVT-AV1 prints to standard error itself unless its level says
    // otherwise; only its fatal errors are left (a level the user set stays).
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), ::setenv("SVT_LOG", "0", 0), true);
    (void)quiet;
    impl_->settings = settings;
}

VideoWriter::~VideoWriter()
{
    abort();
}

void VideoWriter::setSound(const SoundPart& part)
{
    impl_->soundPart = std::make_unique<SoundPart>(part);
}

bool VideoWriter::open(const std::string& path, int width, int height, int, Error* error)
{
    abort();
    Impl& d = *impl_;
    d.path = path;
    d.width = width;
    d.height = height;
    d.frames = d.encoded = 0;
    d.pts = 0;
    if (!CheckAnimation(path, width, height, kMaxVideoSide, -1, error))
        return false;
    if (d.settings.format == OutputFormat::Webm && d.settings.webmCodec == WebmCodec::Av1
        && std::min(width, height) < kMinAv1Side)
        return Fail(error, ErrorKind::InvalidArgument, path,
                    "cannot be written as AV1: its frames are " + std::to_string(width) + " x "
                        + std::to_string(height) + " pixels, and the AV1 encoder takes at least "
                        + std::to_string(kMinAv1Side) + " on each side (VP9 takes any size)");
    if (!d.packet || !d.soundPacket)
        return FailOutOfMemory(error, path);
    const bool mp4 = d.settings.format == OutputFormat::Mp4;
    if (avformat_alloc_output_context2(&d.format, nullptr, mp4 ? "mp4" : "webm", mp4 ? "out.mp4" : "out.webm")
            < 0
        || !d.format)
        return FailOutOfMemory(error, path);
    // The sound first: its cutting and encoding, which fail on a damaged
    // track or a missing filter library, come before the pictures' encoder
    // is opened, which then need not be ended unused; only the sound's
    // stream (out of memory at worst) comes after.
    if (!d.encodeSound(error) || !d.openEncoder(error) || !d.addSoundStream(error)) {
        d.close();
        return false;
    }
    if (!d.file.open(path, error)) {
        d.close();
        return false;
    }
    d.sink = FileSink{::fileno(d.file.stream()), 0, 0, 0};
    d.io = NewContext(&d.sink, true, !d.settings.streamed);
    if (!d.io) {
        d.close();
        d.file.discard();
        return FailOutOfMemory(error, path);
    }
    d.format->pb = d.io;
    d.format->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
    d.format->opaque = &d.sink;
    d.format->io_open = &OpenReadBack;
    d.format->io_close2 = &CloseReadBack;
    AVDictionary* options = nullptr;
    if (mp4)
        av_dict_set(&options, "movflags",
                    d.settings.streamed ? "+frag_keyframe+empty_moov+default_base_moof" : "+faststart", 0);
    const int written = avformat_write_header(d.format, &options);
    av_dict_free(&options);
    if (written < 0)
        return d.failed(error, "cannot be written: the container refused its streams");
    d.headerWritten = true;
    return true;
}

bool VideoWriter::addFrame(const ImageView& frame, int delay, Error* error)
{
    VideoOutputFrame staged;
    take(staged, frame);
    int completed = 0;
    return link(staged, delay, error) && append(staged, &completed, error);
}

std::unique_ptr<OutputFrame> VideoWriter::newFrame()
{
    return std::make_unique<VideoOutputFrame>();
}

void VideoWriter::take(OutputFrame& frame, const ImageView& picture)
{
    const Impl& d = *impl_;
    auto& out = static_cast<VideoOutputFrame&>(frame);
    out.ready = false;
    out.width = picture.width;
    out.height = picture.height;
    if (!out.yuv || picture.width != d.width || picture.height != d.height || !picture.pixels)
        return;
    AVFrame& yuv = *out.yuv;
    const int evenWidth = (d.width + 1) & ~1;
    const int evenHeight = (d.height + 1) & ~1;
    if (!yuv.data[0]) {
        yuv.format = AV_PIX_FMT_YUV420P;
        yuv.width = evenWidth;
        yuv.height = evenHeight;
        if (av_frame_get_buffer(&yuv, 0) < 0)
            return;
    }
    // The encoder may still hold the last picture written here.
    if (av_frame_make_writable(&yuv) < 0)
        return;
    const std::uint8_t* pixels = picture.pixels;
    int stride = static_cast<int>(picture.stride);
    const int bytes = BytesPerPixel(picture.layout);
    if (evenWidth != d.width || evenHeight != d.height) {
        const std::size_t row = static_cast<std::size_t>(evenWidth) * bytes;
        out.padded.resize(row * evenHeight);
        for (int y = 0; y < evenHeight; ++y) {
            std::uint8_t* to = out.padded.data() + row * y;
            const std::uint8_t* from = picture.pixels + picture.stride * std::min(y, d.height - 1);
            std::memcpy(to, from, static_cast<std::size_t>(d.width) * bytes);
            if (evenWidth != d.width)
                std::memcpy(to + static_cast<std::size_t>(d.width) * bytes,
                            to + static_cast<std::size_t>(d.width - 1) * bytes, bytes);
        }
        pixels = out.padded.data();
        stride = static_cast<int>(row);
    }
    const AVPixelFormat from = PixelFormatOf(picture.layout);
    out.scaler.reset(sws_getCachedContext(
        out.scaler.release(), evenWidth, evenHeight, from, evenWidth, evenHeight, AV_PIX_FMT_YUV420P,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
    if (!out.scaler)
        return;
    // BT.709 coefficients, video range, as the stream is tagged.
    sws_setColorspaceDetails(out.scaler.get(), sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* const planes[1] = {pixels};
    const int strides[1] = {stride};
    out.ready =
        sws_scale(out.scaler.get(), planes, strides, 0, evenHeight, yuv.data, yuv.linesize) == evenHeight;
}

bool VideoWriter::link(OutputFrame& frame, int delay, Error* error)
{
    Impl& d = *impl_;
    auto& out = static_cast<VideoOutputFrame&>(frame);
    if (!d.headerWritten)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (!CheckFrame(d.path, d.frames + 1, out.width, out.height, delay, d.width, d.height, error))
        return false;
    if (!out.ready)
        return FailOutOfMemory(error, d.path);
    const int shown = delay < kShortestShown ? kShownInstead : delay;
    out.yuv->pts = d.pts;
    d.durations[d.pts] = shown;
    d.pts += shown;
    ++d.frames;
    if (avcodec_send_frame(d.encoder.get(), out.yuv.get()) < 0 || !d.drain())
        return d.failed(error, "cannot be written: the encoder failed");
    return true;
}

bool VideoWriter::append(OutputFrame&, int* completed, Error*)
{
    *completed = impl_->encoded;
    return true;
}

bool VideoWriter::finish(Error* error)
{
    Impl& d = *impl_;
    if (!d.headerWritten)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (d.frames == 0) {
        abort();
        return Fail(error, ErrorKind::InvalidArgument, d.path, "an animation needs at least one frame");
    }
    if (avcodec_send_frame(d.encoder.get(), nullptr) < 0 || !d.drain() || !d.writeSound(-1)
        || av_write_trailer(d.format) < 0)
        return d.failed(error, "cannot be written: the encoder failed");
    avio_flush(d.io);
    if (d.sink.error)
        return d.failed(error, "");
    d.close();
    if (!d.file.commit(error)) {
        d.file.discard();
        return false;
    }
    return true;
}

void VideoWriter::abort()
{
    impl_->close();
    impl_->file.discard();
}

} // namespace qf::imaging
