#include "webp_writer.h"

#include "atomic_file.h"
#include "errors.h"
#include "size_limits.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <climits>
#include <new>

namespace qf::imaging {

namespace {

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
    int quality = -1;
    std::string path;
    int width = 0;
    int height = 0;
    long long timestamp = 0; // milliseconds at the start of the next frame
    int frames = 0;
    WebPConfig config;
    std::unique_ptr<WebPAnimEncoder, EncoderDeleter> encoder;
    AtomicFile file;

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
    if (!CheckAnimation(path, width, height, WEBP_MAX_DIMENSION, loopCount, error))
        return false;
    if (d.quality > 100)
        return Fail(error, ErrorKind::InvalidArgument, path, "quality must be 0-100");
    if (!WebPConfigInit(&d.config))
        return Fail(error, ErrorKind::LibraryFailed, path, "this version of libwebp cannot be used");
    if (d.quality >= 0) {
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
    if (!CheckFrame(d.path, d.frames + 1, frame.width, frame.height, delay, d.width, d.height, error))
        return false;
    if (d.timestamp + 10LL * delay > INT_MAX)
        return Fail(error, ErrorKind::TooLarge, d.path, "the animation is too long for WebP");

    PictureHolder picture;
    picture.picture.use_argb = 1;
    picture.picture.width = d.width;
    picture.picture.height = d.height;
    if (!Import(picture.picture, frame))
        return Fail(error, ErrorKind::OutOfMemory, d.path, "needs more memory than is free");
    if (!WebPAnimEncoderAdd(d.encoder.get(), &picture.picture, static_cast<int>(d.timestamp), &d.config))
        return d.encoderFailed(error);
    d.timestamp += 10LL * delay;
    ++d.frames;
    return true;
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
    // The last frame's duration is the time up to this closing timestamp.
    if (!WebPAnimEncoderAdd(d.encoder.get(), nullptr, static_cast<int>(d.timestamp), nullptr))
        return d.encoderFailed(error);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(d.encoder.get(), &data)) {
        WebPDataClear(&data);
        return d.encoderFailed(error);
    }
    d.encoder.reset();
    const bool written = d.file.write(data.bytes, data.size, error) && d.file.commit(error);
    WebPDataClear(&data);
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
