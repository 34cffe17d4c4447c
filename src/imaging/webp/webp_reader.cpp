#include "imaging/webp/webp_reader.h"

#include "imaging/errors.h"

#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

namespace qf::imaging {

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct DecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, Error* error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Fail(error, ErrorKind::Unreadable, path, "cannot be opened (" + SystemReason(errno) + ")");
    std::uint8_t buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
    return true;
}

// A file cut short keeps its whole frames, as a GIF does: bytes is cut after
// the last whole frame and its RIFF header made to say so. The number of
// frames kept, 0 when no frame is whole, -1 when bytes is no WebP cut short
// (a whole file, or damage of another kind).
int KeepWholeFrames(std::vector<std::uint8_t>& bytes)
{
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&data, &state));
    if (!demux || state == WEBP_DEMUX_DONE || state == WEBP_DEMUX_PARSE_ERROR
        || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG))
        return -1;
    std::size_t end = 0;
    int whole = 0;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demux.get(), 1, &frame)) {
        do {
            if (!frame.complete)
                break;
            ++whole;
            end = static_cast<std::size_t>(frame.fragment.bytes - bytes.data()) + frame.fragment.size;
        } while (WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
    }
    if (whole == 0)
        return 0;
    end += end & 1; // chunks start at even offsets
    bytes.resize(std::min(end, bytes.size()));
    const std::uint32_t riff = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    return whole;
}

} // namespace

struct WebpReader::Impl {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::unique_ptr<WebPAnimDecoder, DecoderDeleter> decoder;
    AnimationInfo info;
    AnimationDamage damage;
};

WebpReader::WebpReader() : impl_(std::make_unique<Impl>())
{}
WebpReader::~WebpReader() = default;
WebpReader::WebpReader(WebpReader&&) noexcept = default;
WebpReader& WebpReader::operator=(WebpReader&&) noexcept = default;

const AnimationInfo& WebpReader::info() const
{
    return impl_->info;
}

const AnimationDamage& WebpReader::damage() const
{
    return impl_->damage;
}

bool WebpReader::open(const std::string& path, Error* error)
{
    impl_ = std::make_unique<Impl>();
    Impl& d = *impl_;
    d.path = path;
    try {
        if (!ReadWholeFile(path, d.bytes, error))
            return false;
        const std::size_t fileSize = d.bytes.size();
        std::unique_ptr<WebPDemuxer, DemuxDeleter> demux;
        {
            const WebPData whole{d.bytes.data(), d.bytes.size()};
            demux.reset(WebPDemux(&whole));
        }
        if (!demux) {
            const int kept = KeepWholeFrames(d.bytes);
            if (kept == 0)
                return Fail(error, ErrorKind::Corrupt, path,
                            "is cut short before its first frame is complete");
            const WebPData cut{d.bytes.data(), d.bytes.size()};
            if (kept > 0)
                demux.reset(WebPDemux(&cut));
            if (!demux)
                return Fail(error, ErrorKind::Corrupt, path, "is a damaged WebP file");
            d.damage = AnimationDamage{kept, kept, "the file is cut short"};
        }
        const WebPData data{d.bytes.data(), d.bytes.size()};
        const std::uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
        const int frames = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
        if (!(flags & ANIMATION_FLAG) || frames < 1)
            return Fail(error, ErrorKind::Corrupt, path, "is a still WebP picture, not an animation");

        AnimationInfo& info = d.info;
        info.width = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
        info.height = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
        if (!WithinSizeLimits(info.width, info.height, WEBP_MAX_DIMENSION))
            return Fail(error, ErrorKind::TooLarge, path,
                        "is " + BeyondSizeLimits(info.width, info.height, WEBP_MAX_DIMENSION));
        if (frames > kMaxFrames)
            return Fail(error, ErrorKind::TooLarge, path,
                        "has more than " + std::to_string(kMaxFrames) + " frames, the limit");
        // Every frame is decoded and composited at the canvas size, and rendered.
        info.work = 2 * static_cast<std::int64_t>(frames) * info.width * info.height;
        info.fileBytes = static_cast<std::int64_t>(fileSize);
        const std::int64_t workLimit = WorkLimit(info.fileBytes);
        if (static_cast<std::int64_t>(info.width) * info.height > PictureLimit(info.fileBytes))
            return Fail(
                error, ErrorKind::TooLarge, path,
                "is " + BeyondPictureLimit(info.width, info.height, info.fileBytes, "an animated WebP"));
        if (info.work > workLimit)
            return Fail(error, ErrorKind::TooLarge, path,
                        "is an animated WebP that asks for " + std::to_string(info.work / 1'000'000)
                            + " megapixels of work, more than the " + std::to_string(workLimit / 1'000'000)
                            + " allowed a file of " + std::to_string(fileSize) + " bytes");
        info.frameCount = frames;
        WebPIterator frame;
        if (WebPDemuxGetFrame(demux.get(), 1, &frame)) {
            do {
                info.delays.push_back(static_cast<int>(std::nearbyint(frame.duration / 10.0)));
            } while (WebPDemuxNextFrame(&frame));
            WebPDemuxReleaseIterator(&frame);
        }
        const int plays = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_LOOP_COUNT));
        info.loopCount = plays == 0 ? 0 : plays == 1 ? -1 : plays - 1;

        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return Fail(error, ErrorKind::LibraryFailed, path,
                        "cannot be decoded by this version of libwebp");
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        d.decoder.reset(WebPAnimDecoderNew(&data, &options));
        if (!d.decoder)
            return Fail(error, ErrorKind::Corrupt, path, "is a damaged WebP file");
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(error, ErrorKind::OutOfMemory, path, "needs more memory than is free");
    }
}

ReadResult WebpReader::readNext(RgbaImage& frame, Error* error)
{
    Impl& d = *impl_;
    if (error)
        *error = {};
    if (!d.decoder || !WebPAnimDecoderHasMoreFrames(d.decoder.get()))
        return {ReadStatus::End};
    std::uint8_t* canvas = nullptr;
    int timestamp = 0; // the frame's end time; the delays are known from open()
    if (!WebPAnimDecoderGetNext(d.decoder.get(), &canvas, &timestamp)) {
        d.decoder.reset();
        Fail(error, ErrorKind::Corrupt, d.path, "is damaged inside its frames");
        return {ReadStatus::Failed};
    }
    frame.width = d.info.width;
    frame.height = d.info.height;
    frame.pixels.assign(canvas, canvas + static_cast<std::size_t>(frame.width) * frame.height * 4);
    return {ReadStatus::Frame};
}

} // namespace qf::imaging
