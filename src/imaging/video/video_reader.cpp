#include "imaging/video/video_reader.h"

#include "imaging/errors.h"
#include "imaging/size_limits.h"
#include "imaging/video/clip_io.h"
#include "imaging/video/hdr_to_sdr.h"
#include "imaging/video/yuv_to_rgba.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

namespace qf::imaging {

namespace {

// Above a plane of the largest picture allowed (kMaxPixels at 16 bits).
constexpr std::size_t kLargestBlock = std::size_t{1} << 29;

// How a clip's pictures are scaled and their colours converted: bicubic,
// rounded exactly, the colour planes taken at full width.
constexpr int kScaleFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
static_assert(kLargestBlock > 2 * static_cast<std::size_t>(kMaxPixels) + (1 << 20));

struct FormatCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct ScaleCloser {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};

// True when the file starts as a PNG (without animation, or the APNG
// demuxer would have taken it) or a JPEG does.
bool StillPicture(std::FILE* file)
{
    unsigned char head[8] = {};
    std::rewind(file);
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    return (got >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0)
           || (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF);
}

// Whether file is an MP4 or MOV (its first box "ftyp") whose boxes run past
// its end before the index ("moov") is whole: a recording cut short before
// the index was written at its end, which no player can read.
bool CutBeforeIndex(std::FILE* file, std::int64_t size)
{
    // Too short to hold the first box's header: nothing says it is one.
    if (size < 8)
        return false;
    std::int64_t at = 0;
    for (int box = 0; at + 8 <= size && box < 1000; ++box) {
        unsigned char head[16] = {};
        if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 || std::fread(head, 1, 8, file) != 8)
            return false;
        if (box == 0 && std::memcmp(head + 4, "ftyp", 4) != 0)
            return false;
        std::int64_t length = (std::int64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        if (length == 1) { // a 64-bit size follows
            if (std::fread(head + 8, 1, 8, file) != 8)
                return true;
            length = 0;
            for (int i = 8; i < 16; ++i)
                length = (length << 8) | head[i];
        }
        const bool index = std::memcmp(head + 4, "moov", 4) == 0;
        if (length == 0) // the last box, to the end of the file
            return !index;
        if (length < 8)
            return false;
        if (index) // whole, or cut inside
            return at + length > size;
        at += length;
    }
    return at > size || at + 8 > size;
}

// Degrees clockwise the picture turns to be shown upright: 0, 90, 180 or 270.
int RotationOf(const AVStream* stream)
{
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0;
    const double angle = -av_display_rotation_get(matrix);
    if (!std::isfinite(angle))
        return 0;
    const int quarter = static_cast<int>(std::lround(angle / 90.0));
    return ((quarter % 4) + 4) % 4 * 90;
}

// The width a picture of width x height is shown at, before any turn: a
// clip of non-square pixels (a DV or DVD recording, 720 x 480 at 8:9, is
// shown 640 x 480) is widened or narrowed so that its pixels become square,
// as players show it. A pixel shape past 1:8 or 8:1 is damage, and ignored.
int ShownWidth(AVFormatContext* ctx, AVStream* stream, int width)
{
    const AVRational shape = av_guess_sample_aspect_ratio(ctx, stream, nullptr);
    if (shape.num <= 0 || shape.den <= 0 || shape.num == shape.den || shape.num > 8LL * shape.den
        || shape.den > 8LL * shape.num)
        return width;
    const long long shown = (2LL * width * shape.num + shape.den) / (2LL * shape.den);
    return shown < 1 || shown > kMaxSide ? width : static_cast<int>(shown);
}

// The decoder of a stream: VP8 and VP9 keep transparency in a second
// picture beside the first (WebM's "alpha_mode"), which only libvpx's own
// decoders put back together; FFmpeg's would show those clips opaque, their
// hidden colours where they were clear.
const AVCodec* DecoderFor(const AVStream* stream, const AVCodec* found)
{
    const AVDictionaryEntry* alpha = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0);
    if (!alpha || std::string_view(alpha->value) != "1")
        return found;
    const AVCodecID id = stream->codecpar->codec_id;
    const AVCodec* withAlpha = id == AV_CODEC_ID_VP9   ? avcodec_find_decoder_by_name("libvpx-vp9")
                               : id == AV_CODEC_ID_VP8 ? avcodec_find_decoder_by_name("libvpx")
                                                       : nullptr;
    return withAlpha ? withAlpha : found;
}

} // namespace

struct VideoReader::Impl {
    std::string path;
    std::function<bool()> cancelled;
    AnimationInfo info;
    AnimationDamage damage;

    ClipSource source;
    std::unique_ptr<AVIOContext, IoCloser> io;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    CodecPtr decoder;
    FramePtr picture = FramePtr(av_frame_alloc());
    PacketPtr packet = PacketPtr(av_packet_alloc());
    std::unique_ptr<SwsContext, ScaleCloser> scaler;
    Yuv420ToRgba ownSize;              // 4:2:0 pictures kept at their size
    std::vector<std::uint8_t> upright; // a frame before rotation
    std::vector<std::uint16_t> wide;   // a frame of high dynamic range before it is made ordinary
    int stream = -1;
    int rotation = 0;
    int codedWidth = 0;
    int codedHeight = 0;
    int shownWidth = 0; // codedWidth made square-pixelled
    int frameWidth = 0; // the size frames are asked for, upright; 0: the clip's own
    int frameHeight = 0;
    std::int64_t firstPts = 0;     // in the stream's time base
    std::int64_t packetsWhole = 0; // packets read before a cut
    std::int64_t packetsSent = 0;
    int framesRead = 0;
    bool flushed = false;
    bool ended = false;
    bool outOfMemory = false; // the decoder could not take a packet for want of memory
    // Seeking: every frame's timestamp in order, and the key frames' with
    // their place among the stream's packets.
    struct Key {
        std::int64_t pts;
        std::int64_t packet;
    };
    std::vector<std::int64_t> framePts;
    std::vector<Key> keys;
    bool seekable = false;
    bool pending = false; // picture holds the next frame, decoded while seeking
    // Passing over frames: the pictures shown before this time that no other
    // picture is predicted from are left undecoded (H.264 and HEVC, whose
    // decoders tell those apart), and the frames that come out are counted
    // by their times, as the ones left out give none.
    bool dropsUnreferenced = false; // the codec tells such pictures apart
    std::int64_t passUntil = AV_NOPTS_VALUE;
    bool indexed = false; // every packet was read by open; none is decoded yet
    // The first packet of the stream as open's walk read it: where it lies,
    // its length and times.
    struct FirstPacket {
        std::int64_t pos = -1;
        int size = 0;
        std::int64_t pts = AV_NOPTS_VALUE;
        std::int64_t dts = AV_NOPTS_VALUE;
        int flags = 0;
    };
    FirstPacket first;
    bool held = false; // packet holds the stream's first packet, read again but not yet sent
    bool keep = false; // each frame read is kept as decoded (kept)
    std::shared_ptr<const ClipPicture> kept;

    ~Impl() { closeFile(); }
    void closeFile()
    {
        dropHeld();
        scaler.reset();
        decoder.reset();
        format.reset();
        io.reset();
        if (source.file)
            std::fclose(source.file);
        source.file = nullptr;
    }

    bool fail(Error* error, ErrorKind kind, std::string reason)
    {
        closeFile();
        return Fail(error, kind, path, std::move(reason));
    }

    // Opens the container and the decoder of its video stream, at the start.
    bool openStreams(Error* error);
    // Opens them again once open has walked the packets, so that decoding
    // starts from the beginning: put off until a frame is asked for, as a
    // reader opened only to learn the frames (their count, the times)
    // needs none.
    bool rewind(Error* error)
    {
        if (!indexed)
            return true;
        indexed = false;
        if (backToFirstPacket())
            return true;
        try {
            return openStreams(error);
        } catch (const std::bad_alloc&) {
            return fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
        }
    }
    // Seeks the container back to the stream's first packet, which saves
    // opening the file again (a probe of its streams and a new decoder,
    // 10-15 ms for an MP4). True when the first packet of the stream read
    // after the seek is the one open's walk read first, held then for
    // feed(); otherwise the file is to be opened again.
    bool backToFirstPacket();
    // Reads the next packet of the stream into packet, passing over others
    // and discarded ones: av_read_frame's result.
    int readStreamPacket();
    void dropHeld()
    {
        if (held)
            av_packet_unref(packet.get());
        held = false;
    }
    // Walks every packet of the video stream: the frame count and times, and
    // where the file is cut short.
    bool index(Error* error);
    // A stream that may begin anywhere (MPEG transport and program streams,
    // bare H.264, HEVC and MPEG video: a recording begun mid-broadcast, a
    // file cut with dd) may open with pictures predicted from ones it lacks,
    // which the decoder never gives. The frames begin at the first picture
    // it gives, found by decoding up to it once, as reading in order and
    // seeking then count the same frames.
    bool startAtFirstPicture(Error* error);
    // Ends the frames after those read so far, the clip damaged there (the
    // earliest damage found is kept).
    void endDamaged(const std::string& what)
    {
        ended = true;
        if (!damage || damage.afterFrame > framesRead) {
            damage.afterFrame = framesRead;
            damage.what = what;
        }
        damage.framesRead = framesRead;
    }
    // Whether a picture has the size the clip began with: the check a frame
    // passed over still gets, so that it ends where converting would.
    bool codedSize(const AVFrame& frame) const;
    bool toRgba(const AVFrame& frame, RgbaImage& out);
    // Starts decoding at the last key frame at or before frame `target`
    // and decodes up to it; false when the library landed elsewhere or the
    // frame is not found, which leaves the decoder to be opened again.
    bool seekTo(int target);
    // Sends the decoder the next packet of the video stream, or once the
    // whole packets are spent, the end; false when it refuses the packet.
    bool feed();
};

bool VideoReader::Impl::openStreams(Error* error)
{
    closeFile();
    source.file = std::fopen(path.c_str(), "rb");
    if (!source.file)
        return Fail(error, ErrorKind::Unreadable, path, "cannot be opened (" + SystemReason(errno) + ")");
    if (std::fseek(source.file, 0, SEEK_END) != 0 || (source.size = std::ftell(source.file)) < 0
        || std::fseek(source.file, 0, SEEK_SET) != 0)
        return fail(error, ErrorKind::Unreadable, "cannot be read (it is not a regular file)");
    source.cancelled = &cancelled;

    constexpr int kBuffer = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
    if (!buffer)
        return fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
    io.reset(avio_alloc_context(buffer, kBuffer, 0, &source, &ClipSource::read, nullptr, &ClipSource::seek));
    if (!io) {
        av_free(buffer);
        return fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
    }
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx)
        return fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
    ctx->pb = io.get();
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    ctx->io_open = &RefuseOpen;
    ctx->interrupt_callback = {&ClipSource::interrupt, &source};
    ctx->format_whitelist = av_strdup(kClipDemuxers);
    ctx->protocol_whitelist = av_strdup("none");
    const int opened = avformat_open_input(&ctx, "", nullptr, nullptr);
    if (opened < 0) { // ctx is freed
        if (source.stopped())
            return fail(error, ErrorKind::Cancelled, "cancelled");
        if (CutBeforeIndex(source.file, source.size))
            return fail(error, ErrorKind::Corrupt,
                        "is an MP4 or MOV video cut short before its index (the recording was not finished); "
                        "it cannot be read");
        return fail(error, ErrorKind::NotAnimation,
                    StillPicture(source.file) ? "is a still picture, not an animation"
                                              : "is not a GIF, an animated WebP or a video clip");
    }
    format.reset(ctx);
    if (avformat_find_stream_info(ctx, nullptr) < 0)
        return fail(error, source.stopped() ? ErrorKind::Cancelled : ErrorKind::Corrupt,
                    source.stopped() ? "cancelled" : "is a damaged video file");
    const AVCodec* codec = nullptr;
    stream = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream == AVERROR_STREAM_NOT_FOUND)
        return fail(error, ErrorKind::NoImage, "has no video stream");
    AVStream* video = ctx->streams[stream < 0 ? 0 : stream];
    if (stream < 0 || !codec) {
        const char* name = avcodec_get_name(video->codecpar->codec_id);
        return fail(error, ErrorKind::NotAnimation,
                    std::string("holds video in a format this program cannot decode (") + name + ")");
    }
    if (video->disposition & AV_DISPOSITION_ATTACHED_PIC)
        return fail(error, ErrorKind::NotAnimation, "holds a still picture, not a video");
    codec = DecoderFor(video, codec);
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    // As many decoding threads as there are cores; where the system refuses
    // them (too little memory for their stacks), one thread decodes the
    // same pictures.
    int started = -1;
    for (const int threads : {0, 1}) {
        decoder.reset(avcodec_alloc_context3(codec));
        if (!decoder || avcodec_parameters_to_context(decoder.get(), video->codecpar) < 0)
            return fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
        decoder->pkt_timebase = video->time_base;
        decoder->thread_count = threads;
        decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        started = avcodec_open2(decoder.get(), codec, nullptr);
        if (!OutOfRoom(started))
            break;
    }
    if (OutOfRoom(started))
        return fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
    if (started < 0)
        return fail(error, ErrorKind::NotAnimation,
                    std::string("holds video in a format this program cannot decode (") + codec->name + ")");
    dropsUnreferenced =
        video->codecpar->codec_id == AV_CODEC_ID_H264 || video->codecpar->codec_id == AV_CODEC_ID_HEVC;
    passUntil = AV_NOPTS_VALUE;
    codedWidth = video->codecpar->width;
    codedHeight = video->codecpar->height;
    shownWidth = ShownWidth(ctx, video, codedWidth);
    rotation = RotationOf(video);
    flushed = ended = pending = false;
    packetsSent = 0;
    framesRead = 0;
    return true;
}

namespace {

// start + length, or AV_NOPTS_VALUE for a length below 0 or a sum that does
// not fit.
std::int64_t EndAfter(std::int64_t start, std::int64_t length)
{
    if (length < 0 || (start > 0 && length > std::numeric_limits<std::int64_t>::max() - start))
        return AV_NOPTS_VALUE;
    return start + length;
}

// Where the file says the video stream ends, in its time base: its length
// from its start, or from the Matroska track's DURATION tag. AV_NOPTS_VALUE
// when it says nothing.
std::int64_t StatedEnd(const AVStream* video, std::int64_t firstPts)
{
    const std::int64_t start = video->start_time != AV_NOPTS_VALUE ? video->start_time : firstPts;
    if (start == AV_NOPTS_VALUE)
        return AV_NOPTS_VALUE;
    if (video->duration > 0)
        return EndAfter(start, video->duration);
    const AVDictionaryEntry* tag = av_dict_get(video->metadata, "DURATION", nullptr, 0);
    std::int64_t microseconds = 0;
    if (!tag || av_parse_time(&microseconds, tag->value, 1) < 0 || microseconds <= 0
        || microseconds >= 1'000'000'000'000) // 11 days: no pause, and no overflow in the rescaling
        return AV_NOPTS_VALUE;
    return EndAfter(start, av_rescale_q(microseconds, AVRational{1, AV_TIME_BASE}, video->time_base));
}

} // namespace

bool VideoReader::Impl::index(Error* error)
{
    AVFormatContext* ctx = format.get();
    const AVStream* video = ctx->streams[stream];
    std::vector<std::int64_t> pts;
    struct Coded {
        std::int64_t pts;
        std::int64_t bytes;
        bool alone;
    };
    std::vector<Coded> coded;
    std::int64_t lastEnd = AV_NOPTS_VALUE;
    bool presented = true; // every packet has the time it is shown
    int result = 0;
    while ((result = av_read_frame(ctx, packet.get())) >= 0) {
        const AVPacket& p = *packet;
        if (p.stream_index == stream && !(p.flags & AV_PKT_FLAG_DISCARD)) {
            // A packet reaching beyond the end of the file, or one the
            // demuxer found short, is where the file was cut.
            if ((p.flags & AV_PKT_FLAG_CORRUPT) || (p.pos >= 0 && p.pos + p.size > source.size)) {
                av_packet_unref(packet.get());
                result = AVERROR_INVALIDDATA;
                break;
            }
            if (pts.empty())
                first = {p.pos, p.size, p.pts, p.dts, p.flags};
            presented = presented && p.pts != AV_NOPTS_VALUE;
            std::int64_t t = p.pts != AV_NOPTS_VALUE ? p.pts : p.dts;
            if (t == AV_NOPTS_VALUE)
                t = pts.empty() ? 0 : lastEnd;
            if (p.flags & AV_PKT_FLAG_KEY)
                keys.push_back({t, static_cast<std::int64_t>(pts.size())});
            pts.push_back(t);
            coded.push_back({t, p.size, (p.flags & AV_PKT_FLAG_KEY) != 0});
            const std::int64_t end = t + std::max<std::int64_t>(p.duration, 0);
            lastEnd = lastEnd == AV_NOPTS_VALUE ? end : std::max(lastEnd, end);
            if (static_cast<std::int64_t>(pts.size()) > kMaxFrames) {
                av_packet_unref(packet.get());
                return fail(error, ErrorKind::TooLarge,
                            "has more than " + std::to_string(kMaxFrames) + " frames, the limit");
            }
        }
        av_packet_unref(packet.get());
    }
    if (source.stopped())
        return fail(error, ErrorKind::Cancelled, "cancelled");
    packetsWhole = static_cast<std::int64_t>(pts.size());
    if (result != AVERROR_EOF && !pts.empty()) {
        damage.afterFrame = static_cast<int>(pts.size());
        damage.what = "the file is cut short";
    }
    if (pts.empty())
        return fail(error, result == AVERROR_EOF ? ErrorKind::NoImage : ErrorKind::Corrupt,
                    result == AVERROR_EOF ? "has no video frames" : "is damaged before its first frame");

    // A stream that gives the time shown to only some of its packets (an
    // MPEG program stream, every few frames) plays at its stated rate, a
    // frame a packet: a packet timed by when it is decoded may share the
    // time of the one before it, shown a frame after it was decoded, and the
    // two would count as one frame (a 25-frame clip read as 22, with gaps).
    const AVRational tb = video->time_base;
    const AVRational rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    if (!presented && rate.num > 0 && rate.den > 0) {
        const std::int64_t from = *std::min_element(pts.begin(), pts.end());
        for (std::size_t i = 0; i < pts.size(); ++i)
            coded[i].pts = pts[i] = from + av_rescale_q(static_cast<std::int64_t>(i), av_inv_q(rate), tb);
        lastEnd = AV_NOPTS_VALUE;
    }
    std::sort(pts.begin(), pts.end());
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    firstPts = pts.front();
    framePts = pts;
    // A frame found after a seek is told by the time it is shown, which
    // packets in decoding order without it (AVI) do not give; APNG and GIF
    // pictures build on the one before whatever the key frames say.
    const AVCodecID codec = video->codecpar->codec_id;
    seekable = presented && !keys.empty() && codec != AV_CODEC_ID_APNG && codec != AV_CODEC_ID_GIF;
    info.frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
    // The last frame lasts to the end its packet gives, else one frame
    // interval (of the rate, or of the frames before it), and on to the
    // end of the stream where the file states a later one: a pause held on
    // the last frame is kept there (an MP4 has it in its track's length, a
    // WebM in the track's DURATION tag), as players keep it. A file cut
    // short states the length it would have had, so only a whole one counts.
    std::int64_t end = lastEnd == AV_NOPTS_VALUE ? pts.back() : std::max(lastEnd, pts.back());
    if (end == pts.back()) {
        if (info.frameRate > 0)
            end += std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), tb));
        else
            end +=
                pts.size() > 1 ? (pts.back() - pts.front()) / static_cast<std::int64_t>(pts.size() - 1) : 1;
    }
    // (A stated end more than a day after the last frame is no pause but
    // a damaged header.)
    const std::int64_t stated = damage ? AV_NOPTS_VALUE : StatedEnd(video, firstPts);
    if (stated > end
        && static_cast<double>(stated) - static_cast<double>(pts.back()) <= 24 * 3600 / av_q2d(tb))
        end = stated;
    info.frameTimes.clear();
    info.clipStart = av_rescale_q(firstPts, tb, AVRational{1, 1000000});
    for (std::int64_t t : pts)
        info.frameTimes.push_back(av_rescale_q(t - firstPts, tb, AVRational{1, 1000000}));
    info.frameTimes.push_back(av_rescale_q(end - firstPts, tb, AVRational{1, 1000000}));
    info.frameCount = static_cast<int>(pts.size());
    // Packets of one time are one frame, coded alone when any of them is.
    std::stable_sort(coded.begin(), coded.end(),
                     [](const Coded& a, const Coded& b) { return a.pts < b.pts; });
    info.codedBytes.clear();
    info.codedAlone.clear();
    for (std::size_t i = 0; i < coded.size(); ++i) {
        if (i > 0 && coded[i].pts == coded[i - 1].pts) {
            info.codedBytes.back() += coded[i].bytes;
            info.codedAlone.back() = static_cast<std::uint8_t>(info.codedAlone.back() | coded[i].alone);
            continue;
        }
        info.codedBytes.push_back(coded[i].bytes);
        info.codedAlone.push_back(static_cast<std::uint8_t>(coded[i].alone));
    }
    info.delays.clear();
    for (std::size_t i = 0; i + 1 < info.frameTimes.size(); ++i)
        info.delays.push_back(static_cast<int>(std::lround(info.frameTimes[i + 1] / 10000.0))
                              - static_cast<int>(std::lround(info.frameTimes[i] / 10000.0)));
    // Packets of one timestamp are one frame: the cut comes after the
    // frames there are.
    if (damage) {
        damage.framesRead = info.frameCount;
        damage.afterFrame = std::min(damage.afterFrame, info.frameCount);
    }
    return true;
}

bool VideoReader::open(const std::string& path, Error* error)
{
    auto cancelled = std::move(impl_->cancelled);
    impl_ = std::make_unique<Impl>();
    Impl& d = *impl_;
    d.path = path;
    d.cancelled = std::move(cancelled);
    // What goes wrong is told through Error and AnimationDamage, not the
    // library's own messages on standard error. No single block the library
    // asks for may pass kLargestBlock: a damaged header of a few bytes can
    // otherwise claim a gigabyte before any picture is seen.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), av_max_alloc(kLargestBlock), true);
    (void)quiet;
    try {
        if (!d.picture || !d.packet)
            return d.fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
        if (!d.openStreams(error))
            return false;
        AnimationInfo& info = d.info;
        const bool turned = d.rotation == 90 || d.rotation == 270;
        info.width = turned ? d.codedHeight : d.shownWidth;
        info.height = turned ? d.shownWidth : d.codedHeight;
        if (info.width < 1 || info.height < 1)
            return d.fail(error, ErrorKind::Corrupt, "is a damaged video file (no picture size)");
        if (info.width > kMaxSide || info.height > kMaxSide
            || static_cast<std::int64_t>(info.width) * info.height > kMaxPixels)
            return d.fail(error, ErrorKind::TooLarge,
                          "is " + std::to_string(info.width) + " x " + std::to_string(info.height)
                              + " pixels; the limit is " + std::to_string(kMaxPixels / 1000000)
                              + " megapixels");
        if (!d.index(error))
            return false;
        // Every frame is decoded at the clip's size, a bounded cost a pixel;
        // the frames kept are weighed at the size they are rendered at once
        // the part, rate and size are chosen.
        info.fileBytes = d.source.size;
        info.work = static_cast<std::int64_t>(info.frameCount) * info.width * info.height / kVideoDecodeShare;
        const std::int64_t workLimit = WorkLimit(d.source.size);
        if (info.work > workLimit)
            return d.fail(error, ErrorKind::TooLarge,
                          "is a video whose " + std::to_string(info.frameCount) + " frames of "
                              + std::to_string(info.width) + " x " + std::to_string(info.height)
                              + " pixels ask for " + std::to_string(info.work / 1'000'000)
                              + " megapixels of decoding work, more than the "
                              + std::to_string(workLimit / 1'000'000) + " allowed a file of "
                              + std::to_string(d.source.size) + " bytes");
        info.loopCount = 0;
        d.indexed = true;
        return d.startAtFirstPicture(error);
    } catch (const std::bad_alloc&) {
        return d.fail(error, ErrorKind::OutOfMemory, "needs more memory than is free");
    }
}

namespace {

// A decoded picture in RGBA, upright: opaque pictures scaled to
// frameWidth x frameHeight (upright; 0 x 0: their own size) as their
// colours are converted, which costs a fraction of converting the whole
// picture and resizing it after; pictures with transparency come whole, to
// be resized weighted by alpha. Whole is shownWidth wide before the turn
// (square pixels). Pictures of high dynamic range come as an ordinary
// screen shows them (HdrToSdr), through 16 bits a channel in wide. scaler,
// ownSize, upright and wide are kept from call to call.
bool PictureToRgba(const AVFrame& frame, int rotation, int shownWidth, int frameWidth, int frameHeight,
                   std::unique_ptr<SwsContext, ScaleCloser>& scaler, Yuv420ToRgba& ownSize,
                   std::vector<std::uint8_t>& upright, std::vector<std::uint16_t>& wide, RgbaImage& out)
{
    const int w = frame.width;
    const int h = frame.height;
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
    const bool clear = described && (described->flags & AV_PIX_FMT_FLAG_ALPHA);
    const bool scaled = frameWidth > 0 && described && !clear;
    const bool turned = rotation == 90 || rotation == 270;
    const int sw = scaled ? (turned ? frameHeight : frameWidth) : shownWidth;
    const int sh = scaled ? (turned ? frameWidth : frameHeight) : h;
    // Colours as the clip says they were encoded (BT.709 for HD, limited range).
    const int space = frame.colorspace == AVCOL_SPC_UNSPECIFIED
                          ? (h >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG)
                          : frame.colorspace;
    const int full = frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    const std::size_t bytes = static_cast<std::size_t>(sw) * sh * 4;
    std::uint8_t* target = nullptr;
    if (rotation == 0) {
        out.width = sw;
        out.height = sh;
        out.pixels.resize(bytes);
        target = out.pixels.data();
    } else {
        upright.resize(bytes);
        target = upright.data();
    }
    // The common picture, 4:2:0 kept at its size, by the converter that
    // gives libswscale's bytes at a fraction of its cost; the rest by
    // libswscale.
    const bool hdr = IsHdrTransfer(frame.color_trc);
    // A picture woven of two fields taken a field apart (interlaced video:
    // a camcorder's 1080i, DV, broadcast) shows combs wherever something
    // moves, and the effects draw every tooth as a line: the field shown
    // first is taken alone, its lines stretched to the picture's height.
    const bool woven = frame.interlaced_frame && h >= 4 && described
                       && !(described->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL));
    const std::uint8_t* field[4] = {};
    int fieldStrides[4] = {};
    const bool second = woven && !frame.top_field_first;
    for (int i = 0; i < 4; ++i) {
        field[i] = frame.data[i] ? frame.data[i] + (second ? frame.linesize[i] : 0) : nullptr;
        fieldStrides[i] = frame.linesize[i] * (woven ? 2 : 1);
    }
    const int fieldHeight = woven ? h / 2 : h;
    if (!hdr && !woven && sw == w && sh == h
        && (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P)
        && ownSize.prepare(w, h, space, full != 0)) {
        const std::uint8_t* const planes[3] = {frame.data[0], frame.data[1], frame.data[2]};
        const int strides[3] = {frame.linesize[0], frame.linesize[1], frame.linesize[2]};
        ownSize.convert(planes, strides, target);
    } else {
        // Of high dynamic range, planes of 16 bits a channel (libswscale's
        // fast way to more than 8 bits).
        const AVPixelFormat to = !hdr ? AV_PIX_FMT_RGBA : clear ? AV_PIX_FMT_GBRAP16 : AV_PIX_FMT_GBRP16;
        scaler.reset(sws_getCachedContext(scaler.release(), w, fieldHeight, format, sw, sh, to, kScaleFlags,
                                          nullptr, nullptr, nullptr));
        if (!scaler)
            return false;
        sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(space), full,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        const std::size_t pixels = static_cast<std::size_t>(sw) * sh;
        std::uint8_t* planes[4] = {target, nullptr, nullptr, nullptr};
        int strides[4] = {sw * 4, 0, 0, 0};
        if (hdr) {
            wide.resize(pixels * (clear ? 4 : 3));
            for (int i = 0; i < (clear ? 4 : 3); ++i) {
                planes[i] =
                    reinterpret_cast<std::uint8_t*>(wide.data() + pixels * static_cast<std::size_t>(i));
                strides[i] = sw * 2;
            }
        }
        if (sws_scale(scaler.get(), field, fieldStrides, 0, fieldHeight, planes, strides) != sh)
            return false;
        if (hdr) { // planes G, B, R (, A)
            const std::uint16_t* const rgba[4] = {wide.data() + 2 * pixels, wide.data(), wide.data() + pixels,
                                                  clear ? wide.data() + 3 * pixels : nullptr};
            HdrToSdr(frame.color_trc, rgba, pixels, target);
        }
    }
    if (rotation == 0)
        return true;
    out.width = turned ? sh : sw;
    out.height = turned ? sw : sh;
    out.pixels.resize(bytes);
    const auto* src = reinterpret_cast<const std::uint32_t*>(upright.data());
    auto* dst = reinterpret_cast<std::uint32_t*>(out.pixels.data());
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            int sx = x, sy = y;
            if (rotation == 90) { // clockwise: the left edge becomes the top
                sx = y;
                sy = sh - 1 - x;
            } else if (rotation == 180) {
                sx = sw - 1 - x;
                sy = sh - 1 - y;
            } else {
                sx = sw - 1 - y;
                sy = x;
            }
            dst[static_cast<std::size_t>(y) * out.width + x] = src[static_cast<std::size_t>(sy) * sw + sx];
        }
    return true;
}

} // namespace

bool VideoReader::Impl::codedSize(const AVFrame& frame) const
{
    return frame.width == codedWidth && frame.height == codedHeight; // else the stream changes size midway
}

bool VideoReader::Impl::toRgba(const AVFrame& frame, RgbaImage& out)
{
    if (!codedSize(frame))
        return false;
    return PictureToRgba(frame, rotation, shownWidth, frameWidth, frameHeight, scaler, ownSize, upright, wide,
                         out);
}

namespace {

// A picture as decoded, with the turn it is shown at.
class DecodedPicture final : public ClipPicture {
public:
    DecodedPicture(FramePtr frame, int rotation, int shownWidth)
        : frame_(std::move(frame)), rotation_(rotation), shownWidth_(shownWidth)
    {}

    bool toRgba(int width, int height, RgbaImage& out) const override
    {
        std::unique_ptr<SwsContext, ScaleCloser> scaler;
        Yuv420ToRgba ownSize;
        std::vector<std::uint8_t> upright;
        std::vector<std::uint16_t> wide;
        return frame_
               && PictureToRgba(*frame_, rotation_, shownWidth_, width, height, scaler, ownSize, upright,
                                wide, out);
    }

private:
    FramePtr frame_;
    int rotation_ = 0;
    int shownWidth_ = 0;
};

} // namespace

void VideoReader::setFrameSize(int width, int height)
{
    const bool any = width > 0 && height > 0;
    impl_->frameWidth = any ? width : 0;
    impl_->frameHeight = any ? height : 0;
}

void VideoReader::keepPictures(bool keep)
{
    impl_->keep = keep;
    impl_->kept.reset();
}

std::shared_ptr<const ClipPicture> VideoReader::keptPicture() const
{
    return impl_->kept;
}

ReadResult VideoReader::readNext(RgbaImage& frame, Error* error)
{
    return next(&frame, error);
}

ReadResult VideoReader::skipNext(Error* error)
{
    return next(nullptr, error);
}

ReadResult VideoReader::next(RgbaImage* frame, Error* error)
{
    Impl& d = *impl_;
    if (error)
        *error = {};
    if (!d.rewind(error))
        return {ReadStatus::Failed};
    if (!d.decoder || d.ended)
        return {ReadStatus::End};
    // Frames end where the damage found at open or while decoding begins.
    // A clip none of whose frames decode is no video to convert: the
    // file is at fault, not what would have been written.
    auto stopHere = [&](const char* what) -> ReadResult {
        const std::string reason = what;
        d.endDamaged(reason);
        if (d.framesRead == 0) {
            Fail(error, ErrorKind::Corrupt, d.path,
                 "is a video none of whose frames can be decoded (" + reason + ")");
            return {ReadStatus::Failed};
        }
        d.info.frameCount = d.framesRead; // fewer than the index promised
        return {ReadStatus::End};
    };
    auto outOfMemory = [&] {
        Fail(error, ErrorKind::OutOfMemory, d.path, "needs more memory than is free");
        return ReadResult{ReadStatus::Failed};
    };
    try {
        while (true) {
            if (d.source.stopped()) {
                Fail(error, ErrorKind::Cancelled, d.path, "cancelled");
                return {ReadStatus::Failed};
            }
            if (d.framesRead >= d.info.frameCount) {
                d.ended = true;
                return {ReadStatus::End};
            }
            const int received = d.pending ? 0 : avcodec_receive_frame(d.decoder.get(), d.picture.get());
            d.pending = false;
            if (received == 0 && d.passUntil != AV_NOPTS_VALUE) {
                const std::int64_t shown = d.picture->pts;
                const auto at = std::lower_bound(d.framePts.begin(), d.framePts.end(), shown);
                if (at != d.framePts.end() && *at == shown) {
                    d.framesRead = static_cast<int>(at - d.framePts.begin());
                    if (shown >= d.passUntil) { // the frame passed to: held for the read that follows
                        d.pending = true;
                        return {ReadStatus::Frame};
                    }
                }
            }
            if (received == 0) {
                const bool converted = frame ? d.toRgba(*d.picture, *frame) : d.codedSize(*d.picture);
                if (converted && frame && d.keep) {
                    d.kept = std::make_shared<DecodedPicture>(FramePtr(av_frame_clone(d.picture.get())),
                                                              d.rotation, d.shownWidth);
                }
                av_frame_unref(d.picture.get());
                if (!converted)
                    return stopHere("a frame changes size or cannot be converted");
                ++d.framesRead;
                return {ReadStatus::Frame};
            }
            if (received == AVERROR_EOF) {
                if (d.framesRead == 0)
                    return stopHere(d.damage ? d.damage.what.c_str() : "the decoder gives no picture");
                return d.damage ? stopHere(d.damage.what.c_str()) : ReadResult{ReadStatus::End};
            }
            // Memory the decoder cannot get is no damage of the clip.
            if (received == AVERROR(ENOMEM))
                return outOfMemory();
            if (received != AVERROR(EAGAIN) || d.flushed)
                return stopHere("a frame cannot be decoded");
            if (!d.feed())
                return d.outOfMemory ? outOfMemory() : stopHere("a frame cannot be decoded");
        }
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
}

bool VideoReader::Impl::startAtFirstPicture(Error* error)
{
    const std::string_view demuxer = format->iformat->name;
    if (demuxer != "mpegts" && demuxer != "mpeg" && demuxer != "h264" && demuxer != "hevc"
        && demuxer != "mpegvideo")
        return true;
    if (!rewind(error))
        return false;
    std::int64_t shown = AV_NOPTS_VALUE;
    while (!source.stopped()) {
        const int received = avcodec_receive_frame(decoder.get(), picture.get());
        if (received == 0) {
            shown = picture->best_effort_timestamp;
            av_frame_unref(picture.get());
            break;
        }
        if (received != AVERROR(EAGAIN) || flushed || !feed())
            break;
    }
    // Decoding starts again from the first packet, sought back to with the
    // decoder emptied rather than the file opened anew.
    av_frame_unref(picture.get());
    dropHeld();
    avcodec_flush_buffers(decoder.get());
    flushed = ended = pending = false;
    packetsSent = 0;
    framesRead = 0;
    indexed = true;
    const auto at = std::lower_bound(framePts.begin(), framePts.end(), shown);
    if (shown == AV_NOPTS_VALUE || at == framePts.begin() || at == framePts.end() || *at != shown)
        return true;
    const auto dropped = at - framePts.begin();
    framePts.erase(framePts.begin(), at);
    firstPts = shown;
    const std::int64_t from = info.frameTimes.at(static_cast<std::size_t>(dropped));
    info.frameTimes.erase(info.frameTimes.begin(), info.frameTimes.begin() + dropped);
    for (std::int64_t& t : info.frameTimes)
        t -= from;
    info.clipStart += from;
    info.delays.erase(info.delays.begin(), info.delays.begin() + dropped);
    if (info.codedBytes.size() == info.delays.size() + static_cast<std::size_t>(dropped)) {
        info.codedBytes.erase(info.codedBytes.begin(), info.codedBytes.begin() + dropped);
        info.codedAlone.erase(info.codedAlone.begin(), info.codedAlone.begin() + dropped);
    }
    info.frameCount -= static_cast<int>(dropped);
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const Key& key) { return key.pts < shown; }),
               keys.end());
    if (damage) {
        damage.framesRead = info.frameCount;
        damage.afterFrame = std::max(0, damage.afterFrame - static_cast<int>(dropped));
    }
    return true;
}

bool VideoReader::Impl::backToFirstPacket()
{
    const std::int64_t at = first.dts != AV_NOPTS_VALUE ? first.dts : first.pts;
    if (!format || !decoder || at == AV_NOPTS_VALUE || packetsSent != 0
        || av_seek_frame(format.get(), stream, at, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    if (readStreamPacket() < 0)
        return false;
    const AVPacket& p = *packet;
    if (p.pos != first.pos || p.size != first.size || p.pts != first.pts || p.dts != first.dts
        || p.flags != first.flags) {
        av_packet_unref(packet.get());
        return false;
    }
    held = true;
    return true;
}

int VideoReader::Impl::readStreamPacket()
{
    int read = 0;
    while ((read = av_read_frame(format.get(), packet.get())) >= 0
           && (packet->stream_index != stream || (packet->flags & AV_PKT_FLAG_DISCARD)))
        av_packet_unref(packet.get());
    return read;
}

bool VideoReader::Impl::feed()
{
    int read = 0;
    if (held)
        held = false; // the first packet, read again when the clip was sought back to it
    else if (packetsSent < packetsWhole)
        read = readStreamPacket();
    if (packetsSent < packetsWhole && read >= 0) {
        ++packetsSent;
        decoder->skip_frame =
            passUntil != AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE && packet->pts < passUntil
                ? AVDISCARD_NONREF
                : AVDISCARD_DEFAULT;
        const int sent = avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        outOfMemory = sent == AVERROR(ENOMEM);
        return sent >= 0 || sent == AVERROR(EAGAIN) || sent == AVERROR_INVALIDDATA;
    }
    if (!source.stopped()) {                         // else the caller tells of the cancel
        avcodec_send_packet(decoder.get(), nullptr); // the frames it still holds
        flushed = true;
    }
    return true;
}

bool VideoReader::Impl::seekTo(int target)
{
    const std::int64_t want = framePts[static_cast<std::size_t>(target)];
    std::int64_t from = AV_NOPTS_VALUE;
    for (const Key& key : keys)
        if (key.pts <= want && (from == AV_NOPTS_VALUE || key.pts > from))
            from = key.pts;
    dropHeld();
    if (from == AV_NOPTS_VALUE || av_seek_frame(format.get(), stream, from, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(decoder.get());
    flushed = ended = pending = false;
    // The library may land on another key frame than asked, or on none: the
    // first packet must be a key frame of the index, at or before the frame.
    int read = 0;
    while ((read = av_read_frame(format.get(), packet.get())) >= 0
           && (packet->stream_index != stream || (packet->flags & AV_PKT_FLAG_DISCARD)))
        av_packet_unref(packet.get());
    if (read < 0)
        return false;
    const std::int64_t landed = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const Key& k) { return k.pts == landed; });
    if (!(packet->flags & AV_PKT_FLAG_KEY) || key == keys.end() || landed > want
        || key->packet >= packetsWhole) {
        av_packet_unref(packet.get());
        return false;
    }
    packetsSent = key->packet + 1;
    const int sent = avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (sent < 0 && sent != AVERROR_INVALIDDATA)
        return false;
    // Decoded forward, the frames before the one wanted are dropped; it must
    // come out with its own timestamp, or the seek was not exact.
    while (!source.stopped()) {
        const int received = avcodec_receive_frame(decoder.get(), picture.get());
        if (received == 0) {
            const std::int64_t t = picture->pts;
            if (t == want) {
                pending = true;
                framesRead = target;
                return true;
            }
            av_frame_unref(picture.get());
            if (t == AV_NOPTS_VALUE || t > want)
                return false;
        } else if (received != AVERROR(EAGAIN) || flushed || !feed()) {
            return false;
        }
    }
    return false;
}

ReadResult VideoReader::skipTo(int frame, Error* error)
{
    Impl& d = *impl_;
    if (error)
        *error = {};
    if (!d.rewind(error))
        return {ReadStatus::Failed};
    // Worth a seek when a key frame at or before the frame is still ahead
    // of the decoder.
    const bool ahead =
        d.decoder && !d.ended && !d.pending && d.seekable && frame > d.framesRead && frame < d.info.frameCount
        && std::any_of(d.keys.begin(), d.keys.end(), [&](const Impl::Key& key) {
               return key.packet > d.packetsSent && key.pts <= d.framePts[static_cast<std::size_t>(frame)];
           });
    // Counted by their times, the frames passed over may leave out those no
    // other is predicted from; the decoder is told so packet by packet.
    if (d.dropsUnreferenced && d.seekable && frame > d.framesRead && frame < d.info.frameCount)
        d.passUntil = d.framePts[static_cast<std::size_t>(frame)];
    try {
        if (ahead && !d.seekTo(frame)) {
            // From the beginning, decoding forward.
            d.seekable = false;
            if (!d.openStreams(error)) {
                d.passUntil = AV_NOPTS_VALUE;
                return {ReadStatus::Failed};
            }
        }
    } catch (const std::bad_alloc&) {
        d.passUntil = AV_NOPTS_VALUE;
        Fail(error, ErrorKind::OutOfMemory, d.path, "needs more memory than is free");
        return {ReadStatus::Failed};
    }
    ReadResult result{ReadStatus::Frame};
    const bool passes = d.framesRead < frame;
    while (d.framesRead < frame && result.status == ReadStatus::Frame)
        result = next(nullptr, error);
    d.passUntil = AV_NOPTS_VALUE;
    if (result.status != ReadStatus::Frame)
        return result;
    if (passes && d.framesRead > frame) {
        // The first picture to come is shown after the frame asked for: that
        // frame and the ones up to it never decode. The clip ends there, as
        // reading it in order finds, rather than giving a later picture as
        // the frame asked for.
        d.pending = false;
        d.framesRead = frame;
        d.endDamaged("a frame cannot be decoded");
        d.info.frameCount = frame;
        return {ReadStatus::End};
    }
    return {d.framesRead < d.info.frameCount ? ReadStatus::Frame : ReadStatus::End};
}

bool ScaleClipFrame(const RgbaImage& frame, int width, int height, RgbaImage& out)
{
    SwsContext* scaler = sws_getContext(frame.width, frame.height, AV_PIX_FMT_RGBA, width, height,
                                        AV_PIX_FMT_RGBA, kScaleFlags, nullptr, nullptr, nullptr);
    if (!scaler)
        return false;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const std::uint8_t* const from[] = {frame.pixels.data()};
    const int fromStride[] = {frame.width * 4};
    std::uint8_t* const to[] = {out.pixels.data()};
    const int toStride[] = {width * 4};
    const bool ok = sws_scale(scaler, from, fromStride, 0, frame.height, to, toStride) == height;
    sws_freeContext(scaler);
    return ok;
}

VideoReader::VideoReader() : impl_(std::make_unique<Impl>())
{}
VideoReader::~VideoReader() = default;

void VideoReader::setCancelCheck(std::function<bool()> cancelled)
{
    impl_->cancelled = std::move(cancelled);
}

const AnimationInfo& VideoReader::info() const
{
    return impl_->info;
}

const AnimationDamage& VideoReader::damage() const
{
    return impl_->damage;
}

} // namespace qf::imaging
