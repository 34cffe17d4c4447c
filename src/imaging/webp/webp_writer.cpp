#include "imaging/webp/webp_writer.h"

#include "imaging/errors.h"
#include "imaging/files/atomic_file.h"
#include "imaging/size_limits.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace qf::imaging {

namespace {

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};
using MuxPtr = std::unique_ptr<WebPMux, MuxDeleter>;

// The encoder shows a frame identical to the one before by lengthening that
// one, and stores an animation left with one frame as a still picture: the
// source's delays, and for a still even its loop count, would be lost. This
// gives every source frame its own frame again with its own delay (durations
// in milliseconds): a merged frame is repeated, the repeats disposed of
// only after the last, which draws the same pixels over themselves (its
// transparency is all or nothing). True with data left as it was when
// nothing was merged.
bool KeepEveryFrame(WebPData& data, const std::vector<int>& durations, const WebPMuxAnimParams& params,
                    int width, int height)
{
    const MuxPtr in(WebPMuxCreate(&data, 0));
    int stored = 0;
    if (!in || WebPMuxNumChunks(in.get(), WEBP_CHUNK_ANMF, &stored) != WEBP_MUX_OK)
        return false;
    std::uint32_t flags = 0;
    WebPMuxGetFeatures(in.get(), &flags);
    const int frames = (flags & ANIMATION_FLAG) ? stored : 1;
    if (frames == static_cast<int>(durations.size()))
        return true;
    const MuxPtr out(WebPMuxNew());
    if (!out || WebPMuxSetAnimationParams(out.get(), &params) != WEBP_MUX_OK
        || WebPMuxSetCanvasSize(out.get(), width, height) != WEBP_MUX_OK)
        return false;
    std::size_t next = 0; // the source frame the stored frame starts with
    for (int n = 1; n <= frames; ++n) {
        WebPMuxFrameInfo frame;
        if (WebPMuxGetFrame(in.get(), n, &frame) != WEBP_MUX_OK)
            return false;
        const bool still = !(flags & ANIMATION_FLAG);
        const int total = still ? -1 : frame.duration;
        // The source frames this one stands for: their delays add up to
        // its duration; the last stored frame takes all that are left.
        std::size_t end = next + 1;
        for (int sum = durations[next];
             end < durations.size()
             && (n == frames || sum < total
                 || (durations[end] == 0 && durations.size() - end > static_cast<std::size_t>(frames - n)));
             ++end)
            sum += durations[end];
        if (still) {
            frame.x_offset = frame.y_offset = 0;
            frame.dispose_method = WEBP_MUX_DISPOSE_NONE;
            frame.blend_method = WEBP_MUX_NO_BLEND;
        }
        frame.id = WEBP_CHUNK_ANMF;
        const WebPMuxAnimDispose dispose = frame.dispose_method;
        bool pushed = true;
        for (std::size_t i = next; i < end && pushed; ++i) {
            frame.duration = durations[i];
            frame.dispose_method = i + 1 == end ? dispose : WEBP_MUX_DISPOSE_NONE;
            pushed = WebPMuxPushFrame(out.get(), &frame, 1) == WEBP_MUX_OK;
        }
        WebPDataClear(&frame.bitstream);
        if (!pushed)
            return false;
        next = end;
    }
    WebPData rebuilt;
    WebPDataInit(&rebuilt);
    if (next != durations.size() || WebPMuxAssemble(out.get(), &rebuilt) != WEBP_MUX_OK) {
        WebPDataClear(&rebuilt);
        return false;
    }
    WebPDataClear(&data);
    data = rebuilt;
    return true;
}

// The chunks of a WebP file (after "RIFF", its size and "WEBP"): each its
// four-letter name, then its payload, padded to an even length.
struct Chunk {
    std::string name;
    const std::uint8_t* data = nullptr; // the whole chunk, header included
    std::size_t size = 0;               // with header and padding
};

std::vector<Chunk> ChunksOf(const WebPData& file)
{
    std::vector<Chunk> chunks;
    if (file.size < 12)
        return chunks;
    for (std::size_t at = 12; at + 8 <= file.size;) {
        const std::uint8_t* p = file.bytes + at;
        const std::size_t payload = p[4] | (p[5] << 8) | (p[6] << 16) | (std::size_t{p[7]} << 24);
        const std::size_t size = 8 + payload + (payload & 1);
        if (size > file.size - at)
            break;
        chunks.push_back({std::string(reinterpret_cast<const char*>(p), 4), p, size});
        at += size;
    }
    return chunks;
}

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

struct EncoderDeleter {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};

// A WebPPicture that frees itself.
struct PictureHolder {
    WebPPicture picture;
    PictureHolder() { WebPPictureInit(&picture); }
    ~PictureHolder() { WebPPictureFree(&picture); }
    PictureHolder(const PictureHolder&) = delete;
    PictureHolder& operator=(const PictureHolder&) = delete;
};

bool Import(WebPPicture& picture, const ImageView& frame)
{
    const int stride = static_cast<int>(frame.stride);
    switch (frame.layout) {
    case PixelLayout::Rgba:
        return WebPPictureImportRGBA(&picture, frame.pixels, stride) != 0;
    case PixelLayout::Rgb:
        return WebPPictureImportRGB(&picture, frame.pixels, stride) != 0;
    case PixelLayout::Bgrx:
        return WebPPictureImportBGRX(&picture, frame.pixels, stride) != 0;
    }
    return false;
}

// A frame in the stages: the picture, until link encodes it.
struct WebpOutputFrame : OutputFrame {
    ImageView picture;
    int number = 0; // the frame's number once encoded
};

} // namespace

struct WebpWriter::Impl {
    int quality = kLosslessQuality;
    std::string path;
    int width = 0;
    int height = 0;
    long long timestamp = 0; // milliseconds at the start of the next frame
    int frames = 0;
    std::vector<int> durations; // of the frames added, in milliseconds
    WebPMuxAnimParams animation{};
    WebPConfig config;
    std::unique_ptr<WebPAnimEncoder, EncoderDeleter> encoder;
    WebPAnimEncoderOptions encoderOptions;
    AtomicFile file;
    // The encoder's assembly costs time in the square of its frames (each
    // frame is appended to a list walked from its start): frames are
    // encoded in runs of kRun, each begun with a whole frame, and their
    // frame chunks joined here.
    static constexpr int kRun = 512;
    long long runStart = 0;                // the timestamp the current run began at
    std::size_t runFirst = 0;              // its first frame, in durations
    std::vector<std::uint8_t> frameChunks; // the ANMF chunks of the runs before
    bool alpha = false;                    // a run used transparency

    bool endRun(Error* error);

    bool encoderFailed(Error* error)
    {
        const char* what = encoder ? WebPAnimEncoderGetError(encoder.get()) : nullptr;
        const std::string reason = what && *what ? what : "cannot be encoded";
        encoder.reset();
        file.discard();
        return Fail(error, ErrorKind::LibraryFailed, path, "WebP encoding failed: " + reason);
    }
};

WebpWriter::WebpWriter(int quality) : impl_(std::make_unique<Impl>())
{
    impl_->quality = quality;
}

WebpWriter::~WebpWriter()
{
    abort();
}

bool WebpWriter::open(const std::string& path, int width, int height, int loopCount, Error* error)
{
    abort();
    Impl& d = *impl_;
    d.path = path;
    d.width = width;
    d.height = height;
    d.timestamp = 0;
    d.frames = 0;
    d.durations.clear();
    if (!CheckAnimation(path, width, height, WEBP_MAX_DIMENSION, loopCount, error))
        return false;
    if ((d.quality < 0 || d.quality > 100) && d.quality != kLosslessQuality)
        return Fail(error, ErrorKind::InvalidArgument, path, "quality must be 0-100, or lossless");
    if (!WebPConfigInit(&d.config))
        return Fail(error, ErrorKind::LibraryFailed, path, "this version of libwebp cannot be used");
    if (d.quality != kLosslessQuality) {
        d.config.lossless = 0;
        d.config.quality = static_cast<float>(d.quality);
    } else {
        d.config.lossless = 1;
    }

    WebPAnimEncoderOptions encoderOptions;
    if (!WebPAnimEncoderOptionsInit(&encoderOptions))
        return Fail(error, ErrorKind::LibraryFailed, path, "this version of libwebp cannot be used");
    // WebP counts plays; the GIF counts repeats after the first play, and a
    // GIF without a loop extension plays once. Both store 16 bits, so the
    // most repeats become the most plays.
    encoderOptions.anim_params.loop_count = loopCount < 0    ? 1
                                            : loopCount == 0 ? 0
                                                             : std::min(loopCount + 1, kMaxLoopCount);
    d.animation = encoderOptions.anim_params;
    d.encoderOptions = encoderOptions;
    d.runStart = 0;
    d.runFirst = 0;
    d.frameChunks.clear();
    d.alpha = false;
    d.encoder.reset(WebPAnimEncoderNew(width, height, &encoderOptions));
    if (!d.encoder)
        return Fail(error, ErrorKind::OutOfMemory, path, "needs more memory than is free");
    if (!d.file.open(path, error)) {
        d.encoder.reset();
        return false;
    }
    return true;
}

bool WebpWriter::addFrame(const ImageView& frame, int delay, Error* error)
{
    Impl& d = *impl_;
    if (!d.encoder)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (!CheckFrame(d.path, d.frames + 1, frame.width, frame.height, delay, d.width, d.height, error,
                    LongestDelay(OutputFormat::Webp)))
        return false;
    if (d.timestamp + 10LL * delay > INT_MAX)
        return Fail(error, ErrorKind::TooLarge, d.path, "the animation is too long for WebP");

    if (static_cast<int>(d.durations.size() - d.runFirst) >= Impl::kRun && !d.endRun(error))
        return false;
    PictureHolder picture;
    picture.picture.use_argb = 1;
    picture.picture.width = d.width;
    picture.picture.height = d.height;
    if (!Import(picture.picture, frame))
        return Fail(error, ErrorKind::OutOfMemory, d.path, "needs more memory than is free");
    if (!WebPAnimEncoderAdd(d.encoder.get(), &picture.picture, static_cast<int>(d.timestamp - d.runStart),
                            &d.config))
        return d.encoderFailed(error);
    d.timestamp += 10LL * delay;
    d.durations.push_back(10 * delay);
    ++d.frames;
    return true;
}

// Closes the current run: its frames assembled, every source frame kept
// apart, and its frame chunks kept; the next frame begins a new run.
bool WebpWriter::Impl::endRun(Error* error)
{
    // The last frame's duration is the time up to this closing timestamp.
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, static_cast<int>(timestamp - runStart), nullptr))
        return encoderFailed(error);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder.get(), &data)) {
        WebPDataClear(&data);
        return encoderFailed(error);
    }
    const std::vector<int> run(durations.begin() + static_cast<long>(runFirst), durations.end());
    const bool alone = frames == 1;
    if (!alone && run.size() > 1 && !KeepEveryFrame(data, run, animation, width, height)) {
        WebPDataClear(&data);
        encoder.reset();
        file.discard();
        return Fail(error, ErrorKind::LibraryFailed, path,
                    "WebP encoding failed: its frames cannot be kept apart");
    }
    bool ok = true;
    if (alone) {
        // A single frame is stored as the still picture the encoder made.
        frameChunks.assign(data.bytes, data.bytes + data.size);
    } else {
        // A run of one frame comes as a still picture: its picture chunks
        // become a frame of the whole canvas, not blended, for its delay.
        std::vector<std::uint8_t> picture;
        for (const Chunk& chunk : ChunksOf(data)) {
            if (chunk.name == "VP8X")
                alpha = alpha || (chunk.size > 8 && (chunk.data[8] & ALPHA_FLAG));
            else if (chunk.name == "ANMF")
                frameChunks.insert(frameChunks.end(), chunk.data, chunk.data + chunk.size);
            else if (chunk.name == "ALPH" || chunk.name == "VP8 " || chunk.name == "VP8L")
                picture.insert(picture.end(), chunk.data, chunk.data + chunk.size);
            alpha = alpha || chunk.name == "ALPH"
                    || (chunk.name == "VP8L" && chunk.size > 12 && (chunk.data[8 + 4] & 0x10));
        }
        if (!picture.empty()) {
            frameChunks.insert(frameChunks.end(), {'A', 'N', 'M', 'F'});
            PutLittleEndian(frameChunks, static_cast<std::uint32_t>(16 + picture.size()), 4);
            PutLittleEndian(frameChunks, 0, 6); // at the top left
            PutLittleEndian(frameChunks, static_cast<std::uint32_t>(width - 1), 3);
            PutLittleEndian(frameChunks, static_cast<std::uint32_t>(height - 1), 3);
            PutLittleEndian(frameChunks, static_cast<std::uint32_t>(run.back()), 3);
            frameChunks.push_back(0x02); // no blending, no disposal
            frameChunks.insert(frameChunks.end(), picture.begin(), picture.end());
        }
    }
    WebPDataClear(&data);
    runStart = timestamp;
    runFirst = durations.size();
    encoder.reset(WebPAnimEncoderNew(width, height, &encoderOptions));
    if (!encoder)
        ok = Fail(error, ErrorKind::OutOfMemory, path, "needs more memory than is free");
    return ok;
}

bool WebpWriter::finish(Error* error)
{
    Impl& d = *impl_;
    if (!d.encoder)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (d.frames == 0) {
        abort();
        return Fail(error, ErrorKind::InvalidArgument, d.path, "an animation needs at least one frame");
    }
    if (!d.endRun(error))
        return false;
    d.encoder.reset();
    std::vector<std::uint8_t> out;
    if (d.frames == 1) {
        out = std::move(d.frameChunks);
    } else {
        // RIFF, the extended header (animation, and alpha where a run had
        // it; the canvas less one), the animation's loop count and
        // background, then every run's frames.
        const std::uint32_t body = 4 + (8 + 10) + (8 + 6) + static_cast<std::uint32_t>(d.frameChunks.size());
        out.reserve(8 + body);
        out.insert(out.end(), {'R', 'I', 'F', 'F'});
        PutLittleEndian(out, body, 4);
        out.insert(out.end(), {'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'});
        PutLittleEndian(out, 10, 4);
        PutLittleEndian(out, ANIMATION_FLAG | (d.alpha ? ALPHA_FLAG : 0), 4);
        PutLittleEndian(out, static_cast<std::uint32_t>(d.width - 1), 3);
        PutLittleEndian(out, static_cast<std::uint32_t>(d.height - 1), 3);
        out.insert(out.end(), {'A', 'N', 'I', 'M'});
        PutLittleEndian(out, 6, 4);
        PutLittleEndian(out, d.animation.bgcolor, 4);
        PutLittleEndian(out, static_cast<std::uint32_t>(d.animation.loop_count), 2);
        out.insert(out.end(), d.frameChunks.begin(), d.frameChunks.end());
        std::vector<std::uint8_t>().swap(d.frameChunks);
    }
    const bool written = d.file.write(out.data(), out.size(), error) && d.file.commit(error);
    if (!written)
        d.file.discard();
    return written;
}

std::unique_ptr<OutputFrame> WebpWriter::newFrame()
{
    return std::make_unique<WebpOutputFrame>();
}

void WebpWriter::take(OutputFrame& frame, const ImageView& picture)
{
    static_cast<WebpOutputFrame&>(frame).picture = picture;
}

bool WebpWriter::link(OutputFrame& frame, int delay, Error* error)
{
    WebpOutputFrame& webp = static_cast<WebpOutputFrame&>(frame);
    if (!addFrame(webp.picture, delay, error))
        return false;
    webp.number = impl_->frames;
    return true;
}

bool WebpWriter::append(OutputFrame& frame, int* completed, Error*)
{
    *completed = static_cast<WebpOutputFrame&>(frame).number;
    return true;
}

void WebpWriter::abort()
{
    impl_->encoder.reset();
    impl_->file.discard();
}

} // namespace qf::imaging
