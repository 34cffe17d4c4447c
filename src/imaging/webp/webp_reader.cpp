#include "imaging/webp/webp_reader.h"

#include "imaging/errors.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace qf::imaging {

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
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

// One frame of an animated WebP as its ANMF chunk describes it.
struct FrameRecord {
    int x = 0, y = 0, width = 0, height = 0;
    int duration = 0;                // milliseconds
    bool blend = true;               // over the canvas, else in place of it
    bool dispose = false;            // cleared to transparent after it is shown
    bool alpha = false;              // the frame's picture has an alpha channel
    std::size_t start = 0, size = 0; // its picture's chunks (ALPH, VP8 or VP8L) in the file
    std::size_t end = 0;             // the end of its ANMF chunk
};

std::uint32_t Little(const std::uint8_t* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// The frames of an animated WebP, read from its chunks in one pass: the
// demuxer finds a frame by walking its list from the start, so reading n
// frames through it takes n * n / 2 steps (30 s for 100,000 frames). Only
// ANMF chunks whole within bytes are listed.
std::vector<FrameRecord> ListFrames(const std::vector<std::uint8_t>& bytes)
{
    std::vector<FrameRecord> frames;
    const std::size_t total = bytes.size();
    for (std::size_t at = 12; at + 8 <= total;) {
        const std::size_t size = Little(&bytes[at + 4], 4);
        const std::size_t end = at + 8 + size;
        if (end > total)
            break;
        if (std::memcmp(&bytes[at], "ANMF", 4) == 0 && size >= 16) {
            const std::uint8_t* head = &bytes[at + 8];
            FrameRecord frame;
            frame.x = 2 * static_cast<int>(Little(head, 3));
            frame.y = 2 * static_cast<int>(Little(head + 3, 3));
            frame.width = 1 + static_cast<int>(Little(head + 6, 3));
            frame.height = 1 + static_cast<int>(Little(head + 9, 3));
            frame.duration = static_cast<int>(Little(head + 12, 3));
            frame.blend = (head[15] & 0x02) == 0;
            frame.dispose = (head[15] & 0x01) != 0;
            frame.end = end;
            // The picture: an optional ALPH chunk, then VP8 or VP8L; other chunks are passed over.
            for (std::size_t sub = at + 24; sub + 8 <= end;) {
                const std::size_t subEnd = sub + 8 + Little(&bytes[sub + 4], 4);
                const bool alpha = std::memcmp(&bytes[sub], "ALPH", 4) == 0;
                const bool picture =
                    std::memcmp(&bytes[sub], "VP8 ", 4) == 0 || std::memcmp(&bytes[sub], "VP8L", 4) == 0;
                if ((alpha || picture) && frame.start == 0)
                    frame.start = sub;
                frame.alpha = frame.alpha || alpha;
                if (picture) {
                    frame.size = std::min(subEnd, end) - frame.start;
                    break;
                }
                sub = subEnd + (subEnd & 1);
            }
            frames.push_back(frame);
        }
        at = end + (size & 1);
    }
    return frames;
}

// A file cut short keeps its whole frames, as a GIF does: bytes is cut after
// the last whole frame and its RIFF header made to say so. The number of
// frames kept, 0 when no frame is whole, -1 when bytes is no WebP cut short
// (a whole file, or damage of another kind).
int KeepWholeFrames(std::vector<std::uint8_t>& bytes)
{
    {
        const WebPData data{bytes.data(), bytes.size()};
        WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
        const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&data, &state));
        if (!demux || state == WEBP_DEMUX_DONE || state == WEBP_DEMUX_PARSE_ERROR
            || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG))
            return -1;
    }
    const std::vector<FrameRecord> frames = ListFrames(bytes);
    if (frames.empty())
        return 0;
    std::size_t end = frames.back().end;
    end += end & 1; // chunks start at even offsets
    bytes.resize(std::min(end, bytes.size()));
    const std::uint32_t riff = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    return static_cast<int>(frames.size());
}

// One colour of src drawn over dst, neither premultiplied by alpha, with
// the weights given; in 8 bits, as libwebp's own animation decoder blends.
std::uint8_t BlendChannel(std::uint32_t src, std::uint32_t srcAlpha, std::uint32_t dst,
                          std::uint32_t dstAlpha, std::uint32_t scale)
{
    return static_cast<std::uint8_t>(((src * srcAlpha + dst * dstAlpha) * scale) >> 24);
}

// The pixels of a row of the frame that are not opaque drawn over the
// canvas as it was before the frame.
void BlendRow(std::uint8_t* row, const std::uint8_t* under, int count)
{
    for (int i = 0; i < count; ++i, row += 4, under += 4) {
        const std::uint32_t srcAlpha = row[3];
        if (srcAlpha == 255)
            continue;
        if (srcAlpha == 0) {
            std::memcpy(row, under, 4);
            continue;
        }
        // (under alpha * (255 - alpha)) / 255, in the integer form libwebp uses.
        const std::uint32_t dstAlpha = (under[3] * (256 - srcAlpha)) >> 8 & 0xff;
        const std::uint32_t alpha = (srcAlpha + dstAlpha) & 0xff;
        const std::uint32_t scale = (1u << 24) / alpha;
        for (int c = 0; c < 3; ++c)
            row[c] = BlendChannel(row[c], srcAlpha, under[c], dstAlpha, scale);
        row[3] = static_cast<std::uint8_t>(alpha);
    }
}

} // namespace

// Frames are composited as libwebp's animation decoder does, frame after
// frame from the list of ListFrames.
struct WebpReader::Impl {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::vector<FrameRecord> frames;
    std::size_t next = 0;               // the frame readNext decodes
    std::vector<std::uint8_t> canvas;   // the last frame shown
    std::vector<std::uint8_t> disposed; // the canvas after the last frame's disposal
    bool lastWasKey = false;
    WebPDecoderConfig config{};
    AnimationInfo info;
    AnimationDamage damage;

    bool isKey(const FrameRecord& frame) const;
    bool decodeNext();
};

bool WebpReader::Impl::isKey(const FrameRecord& frame) const
{
    const auto full = [&](const FrameRecord& f) { return f.width == info.width && f.height == info.height; };
    if (next == 0)
        return true;
    if ((!frame.alpha || !frame.blend) && full(frame))
        return true;
    const FrameRecord& before = frames[next - 1];
    return before.dispose && (full(before) || lastWasKey);
}

bool WebpReader::Impl::decodeNext()
{
    FrameRecord& frame = frames[next];
    const std::size_t stride = 4 * static_cast<std::size_t>(info.width);
    // The picture's own header gives its size (as the demuxer takes it,
    // whatever the ANMF chunk says) and whether a VP8L picture uses alpha.
    WebPBitstreamFeatures features{};
    if (frame.size == 0
        || WebPGetFeatures(bytes.data() + frame.start, frame.size, &features) != VP8_STATUS_OK)
        return false;
    frame.width = features.width;
    frame.height = features.height;
    frame.alpha = frame.alpha || features.has_alpha;
    if (frame.width < 1 || frame.height < 1 || frame.x + frame.width > info.width
        || frame.y + frame.height > info.height)
        return false;
    const bool key = isKey(frame);
    if (key)
        std::fill(canvas.begin(), canvas.end(), std::uint8_t{0});
    else
        canvas = disposed;
    WebPRGBABuffer& out = config.output.u.RGBA;
    out.stride = static_cast<int>(stride);
    out.size = stride * static_cast<std::size_t>(frame.height);
    out.rgba =
        canvas.data() + static_cast<std::size_t>(frame.y) * stride + 4 * static_cast<std::size_t>(frame.x);
    if (WebPDecode(bytes.data() + frame.start, frame.size, &config) != VP8_STATUS_OK)
        return false;
    // Pixels the frame left not opaque show the canvas before it, where it blends.
    if (next > 0 && frame.blend && !key) {
        const FrameRecord& before = frames[next - 1];
        for (int y = frame.y; y < frame.y + frame.height; ++y) {
            const auto blend = [&](int from, int to) {
                if (to > from) {
                    const std::size_t at =
                        static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(from);
                    BlendRow(canvas.data() + at, disposed.data() + at, to - from);
                }
            };
            const bool besideCleared = !before.dispose || y < before.y || y >= before.y + before.height
                                       || frame.x >= before.x + before.width
                                       || frame.x + frame.width <= before.x;
            if (besideCleared) {
                blend(frame.x, frame.x + frame.width);
            } else {
                // Inside the area the last frame cleared the canvas is transparent: nothing to blend.
                blend(frame.x, std::min(frame.x + frame.width, before.x));
                blend(std::max(frame.x, before.x + before.width), frame.x + frame.width);
            }
        }
    }
    lastWasKey = key;
    disposed = canvas;
    if (frame.dispose) {
        for (int y = frame.y; y < frame.y + frame.height; ++y)
            std::fill_n(disposed.begin()
                            + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * stride
                                                          + 4 * static_cast<std::size_t>(frame.x)),
                        4 * frame.width, std::uint8_t{0});
    }
    ++next;
    return true;
}

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
        const std::int64_t area = static_cast<std::int64_t>(info.width) * info.height;
        const std::int64_t passes = 2 * static_cast<std::int64_t>(frames);
        info.work = passes * area;
        info.fileBytes = static_cast<std::int64_t>(fileSize);
        const std::int64_t workLimit = AnimationWorkLimit(info.fileBytes, passes, area);
        if (area > PictureLimit(info.fileBytes))
            return Fail(
                error, ErrorKind::TooLarge, path,
                "is " + BeyondPictureLimit(info.width, info.height, info.fileBytes, "an animated WebP"));
        if (info.work > workLimit)
            return Fail(error, ErrorKind::TooLarge, path,
                        "is an animated WebP that asks for " + std::to_string(info.work / 1'000'000)
                            + " megapixels of work, more than the " + std::to_string(workLimit / 1'000'000)
                            + " allowed a file of " + std::to_string(fileSize) + " bytes and "
                            + std::to_string(frames) + " frames");
        info.frameCount = frames;
        d.frames = ListFrames(d.bytes);
        if (static_cast<int>(d.frames.size()) != frames)
            return Fail(error, ErrorKind::Corrupt, path, "is a damaged WebP file");
        // A frame's delay is the hundredth its successor starts at less the
        // one it starts at, each rounded from the milliseconds stored: 30
        // frames a second (33 ms each) play 3, 3, 4, ... hundredths and the
        // animation as long as the file says, where each rounded alone came
        // to 3 and 600 of them played 1.8 s short of their 19.8. A frame
        // longer than 10 ms keeps at least the shortest delay browsers play
        // as stored: 60 frames a second (16 ms) would otherwise get delays
        // of 1 between those of 2, each then held for a tenth of a second.
        std::int64_t shown = 0; // milliseconds
        const auto hundredths = [](std::int64_t ms) { return std::llrint(static_cast<double>(ms) / 10.0); };
        for (const FrameRecord& frame : d.frames) {
            int delay = static_cast<int>(hundredths(shown + frame.duration) - hundredths(shown));
            if (frame.duration > 10)
                delay = std::max(delay, kShortestPlayedDelay);
            info.delays.push_back(delay);
            shown += frame.duration;
        }
        const int plays = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_LOOP_COUNT));
        info.loopCount = plays == 0 ? 0 : plays == 1 ? -1 : plays - 1;

        if (!WebPInitDecoderConfig(&d.config))
            return Fail(error, ErrorKind::LibraryFailed, path,
                        "cannot be decoded by this version of libwebp");
        d.config.output.colorspace = MODE_RGBA;
        d.config.output.is_external_memory = 1;
        d.config.options.use_threads = 0;
        const std::size_t canvasBytes = 4 * static_cast<std::size_t>(info.width) * info.height;
        d.canvas.assign(canvasBytes, 0);
        d.disposed.assign(canvasBytes, 0);
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
    if (d.next >= d.frames.size())
        return {ReadStatus::End};
    if (!d.decodeNext()) {
        d.next = d.frames.size();
        Fail(error, ErrorKind::Corrupt, d.path, "is damaged inside its frames");
        return {ReadStatus::Failed};
    }
    frame.width = d.info.width;
    frame.height = d.info.height;
    frame.pixels.assign(d.canvas.begin(), d.canvas.end());
    return {ReadStatus::Frame};
}

} // namespace qf::imaging
