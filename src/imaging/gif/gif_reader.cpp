// The compositing: frames drawn onto the canvas at the logical screen size,
// with disposal, clipping and colour lookup. The records and the pixel data
// come from GifStream.
#include "imaging/gif/gif_reader.h"

#include "imaging/errors.h"
#include "imaging/gif/gif_lzw.h"
#include "imaging/gif/gif_records.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace qf::imaging {

namespace {

// Straight RGBA as it lies in memory (R, G, B, A), read as one 32-bit word.
// 0 is "draw nothing" in a colour lookup table.
std::uint32_t PackRgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    const std::uint8_t bytes[4] = {r, g, b, a};
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // half open
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

enum class Disposal { Keep, Background, Previous };

// Disposal 2 clears to the background, which browsers show as transparent.
// 3 restores what was there before; 4 is written by some encoders for the
// same and browsers read it so. 0, 1 and the undefined 5 to 7 keep the frame.
Disposal DisposalOf(int stored)
{
    switch (stored) {
    case 2:
        return Disposal::Background;
    case 3:
    case 4:
        return Disposal::Previous;
    default:
        return Disposal::Keep;
    }
}

bool ReadableCodeSize(int minCodeSize)
{
    return minCodeSize >= 1 && minCodeSize <= kMaxLzwMinCodeSize;
}

std::string CodeSizeDamage(int frame, int minCodeSize)
{
    return "frame " + std::to_string(frame) + " has an LZW minimum code size of "
           + std::to_string(minCodeSize) + " (1 to " + std::to_string(kMaxLzwMinCodeSize) + " can be read)";
}

std::string Megapixels(std::int64_t pixels)
{
    return std::to_string(pixels / 1'000'000) + " megapixels";
}

constexpr int kLookupSize = 1 << (kMaxLzwMinCodeSize + 1);

} // namespace

std::string AnimationDamage::message() const
{
    const std::string frames =
        std::to_string(framesRead) + (framesRead == 1 ? " frame was read" : " frames were read");
    // Damage inside the frames read: they are shown as far as they decode.
    if (afterFrame < framesRead)
        return "is damaged in frame " + std::to_string(afterFrame + 1) + " (" + what + "); " + frames
               + ", the damaged ones as far as they decode";
    return "is damaged after frame " + std::to_string(afterFrame) + " (" + what + "); " + frames;
}

struct GifReader::Impl {
    std::string path;
    AnimationInfo info;
    AnimationDamage damage;
    GifStream stream;
    std::function<bool()> cancelled;
    bool streamAtStart = true; // stream positioned before frame 1
    int next = 1;              // number of the frame readNext decodes
    // Per frame: it paints every pixel of the screen opaque, whatever was
    // there (it covers the screen, has no transparent index, its table has
    // a colour for every index its code size allows, and its disposal does
    // not restore what was before), so that the frames before it need not
    // be decoded to show it, as long as its data is whole.
    std::vector<bool> paintsAll;
    int decodedAfterSkip = 0; // a frame decoded with the ones before it skipped

    std::vector<std::uint32_t> canvas;
    std::vector<std::uint32_t> saved; // the area a restore-to-previous frame covers
    Rect pendingRect;
    Disposal pendingDisposal = Disposal::Keep;

    std::array<std::uint32_t, kLookupSize> lookup{};
    std::array<Rgb, 256> globalTable{};
    int globalTableSize = 0;

    bool scan(Error* error);
    bool restart(Error* error);
    bool decodeNext(Error* error);
    bool nextFrame(FrameHeader& header, Error* error);
    bool skipTo(int frameNumber, Error* error);
    void buildLookup(const FrameHeader& header);
    void drawRow(const FrameHeader& header, int frameRow, const std::uint16_t* indexes, std::size_t count);
    Rect clip(const FrameHeader& header) const;
    int visibleRows(const FrameHeader& header) const;
    // Keeps the earliest damage found.
    void noteDamage(int afterFrame, std::string what)
    {
        if (damage.afterFrame < 0 || afterFrame < damage.afterFrame)
            damage = AnimationDamage{afterFrame, info.frameCount, std::move(what)};
    }
    bool stopAsked() const { return cancelled && cancelled(); }
    bool cancel(Error* error) const { return Fail(error, ErrorKind::Cancelled, path, "cancelled"); }
    bool changed(Error* error) const
    {
        return Fail(error, ErrorKind::Unreadable, path, "changed while it was being read");
    }
};

GifReader::GifReader() : impl_(std::make_unique<Impl>())
{}

GifReader::~GifReader() = default;
GifReader::GifReader(GifReader&&) noexcept = default;
GifReader& GifReader::operator=(GifReader&&) noexcept = default;

void GifReader::setCancelCheck(std::function<bool()> cancelled)
{
    if (!impl_)
        impl_ = std::make_unique<Impl>();
    impl_->cancelled = std::move(cancelled);
}

bool GifReader::open(const std::string& path, Error* error)
{
    std::function<bool()> cancelled = impl_ ? std::move(impl_->cancelled) : nullptr;
    auto reset = [&] {
        impl_ = std::make_unique<Impl>();
        impl_->cancelled = cancelled;
    };
    reset();
    impl_->path = path;
    try {
        if (!impl_->stream.open(path, error) || !impl_->scan(error)) {
            reset();
            return false;
        }
        return impl_->restart(error);
    } catch (const std::bad_alloc&) {
        reset();
        return FailOutOfMemory(error, path);
    }
}

int GifReader::Impl::visibleRows(const FrameHeader& header) const
{
    if (header.left >= info.width || header.top >= info.height || header.width <= 0)
        return 0;
    return std::min(header.height, info.height - header.top);
}

// Walks every record once, skipping the pixel data, to learn the frame
// count, the delays and the loop count, and to weigh the work.
bool GifReader::Impl::scan(Error* error)
{
    streamAtStart = false;
    const GifFileType& gif = stream.gif();
    info = AnimationInfo{};
    paintsAll.clear();
    info.width = gif.SWidth;
    info.height = gif.SHeight;
    auto tooLarge = [&] { return !WithinSizeLimits(info.width, info.height); };
    auto refuseSize = [&] {
        return Fail(error, ErrorKind::TooLarge, path, "is " + BeyondSizeLimits(info.width, info.height));
    };
    if (tooLarge())
        return refuseSize();
    const std::int64_t fileSize = stream.fileSize();
    info.fileBytes = fileSize;
    // The screen is the canvas every frame is composed on.
    auto refusePicture = [&] {
        return Fail(error, ErrorKind::TooLarge, path,
                    "is " + BeyondPictureLimit(info.width, info.height, fileSize, "a GIF"));
    };
    if (static_cast<std::int64_t>(info.width) * info.height > PictureLimit(fileSize))
        return refusePicture();

    Record ending = Record::End;
    for (;;) {
        if (stopAsked())
            return cancel(error);
        FrameHeader header;
        const Record record = stream.next(header);
        if (record != Record::Frame) {
            ending = record;
            break;
        }
        if (info.frameCount == 0 && (info.width == 0 || info.height == 0)) {
            // A screen without width or height: browsers size the picture
            // to take in the first frame.
            info.width = std::max(info.width, header.left + header.width);
            info.height = std::max(info.height, header.top + header.height);
            if (tooLarge())
                return refuseSize();
            if (static_cast<std::int64_t>(info.width) * info.height > PictureLimit(fileSize))
                return refusePicture();
        }
        const ImageData data = stream.skipData();
        if (data == ImageData::Failed) {
            ending = Record::Failed;
            break;
        }
        if (data == ImageData::Cut) {
            // A frame whose data the file cuts off is dropped, with
            // everything after it; the frames before it stay.
            ending = Record::Cut;
            break;
        }
        ++info.frameCount;
        if (info.frameCount > kMaxFrames)
            return Fail(error, ErrorKind::TooLarge, path,
                        "has more than " + std::to_string(kMaxFrames) + " frames, the limit");
        if (!ReadableCodeSize(header.minCodeSize))
            noteDamage(info.frameCount - 1, CodeSizeDamage(info.frameCount, header.minCodeSize));
        const int rows = RowsToDecode(header.height, header.interlaced, visibleRows(header));
        info.work += static_cast<std::int64_t>(info.width) * info.height
                     + static_cast<std::int64_t>(rows) * header.width;
        const std::int64_t workLimit = AnimationWorkLimit(
            fileSize, info.frameCount, static_cast<std::int64_t>(info.width) * info.height);
        if (info.work > workLimit)
            return Fail(error, ErrorKind::TooLarge, path,
                        "is a GIF that asks for more work than the limit of " + Megapixels(workLimit)
                            + " for a file of " + std::to_string(fileSize) + " bytes by its frame "
                            + std::to_string(info.frameCount) + " (each frame costs the "
                            + std::to_string(info.width) + " x " + std::to_string(info.height)
                            + " screen, plus the pixels it decodes; a file may ask for "
                            + Megapixels(kWorkFloor) + " plus " + std::to_string(kWorkPerByte)
                            + " pixels a byte and " + std::to_string(kFreeFrameWidth) + " x "
                            + std::to_string(kFreeFrameHeight) + " a frame, at most " + Megapixels(kMaxWork)
                            + ")");
        info.delays.push_back(header.delay);
        const int entries = header.localTableSize > 0 ? header.localTableSize
                            : gif.SColorMap           ? std::min(gif.SColorMap->ColorCount, 256)
                                                      : 1 << kMaxLzwMinCodeSize; // none: all black
        paintsAll.push_back(header.left == 0 && header.top == 0 && header.width >= info.width
                            && header.height >= info.height && header.transparent < 0
                            && ReadableCodeSize(header.minCodeSize) && entries >= 1 << header.minCodeSize
                            && DisposalOf(header.disposal) != Disposal::Previous);
    }
    info.loopCount = stream.loopCount();

    if (ending == Record::Failed) {
        if (stream.readFailed())
            return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
        return FailOutOfMemory(error, path);
    }
    if (info.frameCount == 0) {
        switch (ending) {
        case Record::Cut:
            return Fail(error, ErrorKind::Corrupt, path, "is cut short before its first frame is complete");
        case Record::Damaged:
            return Fail(error, ErrorKind::Corrupt, path, "is damaged before its first frame");
        default:
            return Fail(error, ErrorKind::NoImage, path, "holds no image");
        }
    }
    if (info.width == 0 || info.height == 0)
        return Fail(error, ErrorKind::NoImage, path, "has a picture area of no size");
    if (ending == Record::Cut)
        noteDamage(info.frameCount, "the file is cut short");
    else if (ending == Record::Damaged)
        noteDamage(info.frameCount, "bytes that are no GIF block follow");
    damage.framesRead = info.frameCount;

    globalTableSize = 0;
    if (gif.SColorMap) {
        globalTableSize = std::min(gif.SColorMap->ColorCount, 256);
        for (int i = 0; i < globalTableSize; ++i) {
            const GifColorType& c = gif.SColorMap->Colors[i];
            globalTable[static_cast<std::size_t>(i)] = {c.Red, c.Green, c.Blue};
        }
    }
    return true;
}

bool GifReader::Impl::restart(Error* error)
{
    if (!streamAtStart) {
        if (!stream.rewind(error))
            return false;
        streamAtStart = true;
    }
    next = 1;
    decodedAfterSkip = 0;
    pendingDisposal = Disposal::Keep;
    pendingRect = Rect{};
    canvas.clear();
    return true;
}

const AnimationInfo& GifReader::info() const
{
    static const AnimationInfo none;
    return impl_ ? impl_->info : none;
}

const AnimationDamage& GifReader::damage() const
{
    static const AnimationDamage none;
    return impl_ ? impl_->damage : none;
}

bool GifReader::checkData(Error* error)
{
    if (!impl_ || impl_->path.empty())
        return Fail(error, ErrorKind::InvalidArgument, "", "no GIF is open");
    Impl& d = *impl_;
    if (!d.restart(error))
        return false;
    d.streamAtStart = false;
    for (int number = 1; number <= d.info.frameCount; ++number) {
        if (d.stopAsked())
            return d.cancel(error);
        FrameHeader header;
        if (!d.nextFrame(header, error))
            return false;
        switch (
            d.stream.check(header, RowsToDecode(header.height, header.interlaced, d.visibleRows(header)))) {
        case ImageData::Whole:
            break;
        case ImageData::EndsEarly:
            d.noteDamage(number - 1, "the image data of frame " + std::to_string(number) + " ends early");
            break;
        case ImageData::BadCode:
            d.noteDamage(number - 1, "the image data of frame " + std::to_string(number) + " is damaged");
            break;
        case ImageData::BadCodeSize:
            d.noteDamage(number - 1, CodeSizeDamage(number, header.minCodeSize));
            break;
        case ImageData::Cut:
            return d.changed(error);
        case ImageData::Failed:
            return Fail(error, ErrorKind::Unreadable, d.path, "cannot be read to the end");
        case ImageData::Cancelled:
            return d.cancel(error);
        }
    }
    return d.restart(error);
}

ReadResult GifReader::readNext(RgbaImage& frame, Error* error)
{
    constexpr ReadResult failed{ReadStatus::Failed};
    if (error)
        *error = Error{};
    if (!impl_ || impl_->path.empty()) {
        Fail(error, ErrorKind::InvalidArgument, "", "no GIF is open");
        return failed;
    }
    Impl& d = *impl_;
    if (d.next > d.info.frameCount)
        return {ReadStatus::End};
    try {
        if (!d.decodeNext(error))
            return failed;
        frame.width = d.info.width;
        frame.height = d.info.height;
        frame.pixels.resize(d.canvas.size() * 4);
        std::memcpy(frame.pixels.data(), d.canvas.data(), frame.pixels.size());
        return {ReadStatus::Frame};
    } catch (const std::bad_alloc&) {
        FailOutOfMemory(error, d.path);
        return failed;
    }
}

bool GifReader::readFrame(int frameNumber, RgbaImage& frame, Error* error)
{
    if (error)
        *error = Error{};
    if (!impl_ || impl_->path.empty())
        return Fail(error, ErrorKind::InvalidArgument, "", "no GIF is open");
    Impl& d = *impl_;
    if (frameNumber < 1 || frameNumber > d.info.frameCount)
        return Fail(error, ErrorKind::InvalidArgument, d.path,
                    "has no frame " + std::to_string(frameNumber) + " (it has "
                        + std::to_string(d.info.frameCount) + ")");
    try {
        // Compositing depends on every frame before, so going back means
        // decoding again from the start.
        if (frameNumber < d.next && !d.restart(error))
            return false;
        if (!d.skipTo(frameNumber, error))
            return false;
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory(error, d.path);
    }
    return static_cast<bool>(readNext(frame, error));
}

bool GifReader::skipTo(int frameNumber, Error* error)
{
    if (error)
        *error = Error{};
    if (!impl_ || impl_->path.empty())
        return Fail(error, ErrorKind::InvalidArgument, "", "no GIF is open");
    try {
        return impl_->skipTo(std::min(frameNumber, impl_->info.frameCount + 1), error);
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory(error, impl_->path);
    }
}

// Moves on to frame frameNumber without handing out the frames before it.
// Those before the last frame on the way that paints the whole screen are
// passed over undecoded; should that frame's data turn out damaged, they
// show through it, and it is decoded again after them (decodeNext).
bool GifReader::Impl::skipTo(int frameNumber, Error* error)
{
    int paints = 0;
    for (int j = frameNumber; j > next && j <= info.frameCount; --j)
        if (paintsAll[static_cast<std::size_t>(j - 1)]) {
            paints = j;
            break;
        }
    if (paints > 0) {
        streamAtStart = false;
        while (next < paints) {
            FrameHeader header;
            if (!nextFrame(header, error))
                return false;
            const ImageData data = stream.skipData();
            if (data == ImageData::Cut)
                return changed(error);
            if (data == ImageData::Failed)
                return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
            ++next;
        }
        pendingRect = Rect{};
        decodedAfterSkip = paints;
    }
    while (next < frameNumber)
        if (!decodeNext(error))
            return false;
    return true;
}

Rect GifReader::Impl::clip(const FrameHeader& header) const
{
    Rect r;
    r.x0 = std::min(header.left, info.width);
    r.y0 = std::min(header.top, info.height);
    r.x1 = std::min(header.left + header.width, info.width);
    r.y1 = std::min(header.top + header.height, info.height);
    return r;
}

// Reads the next frame's header, which the walk at open found: anything
// else means the file could not be read again or changed since.
bool GifReader::Impl::nextFrame(FrameHeader& header, Error* error)
{
    const Record record = stream.next(header);
    if (record == Record::Frame)
        return true;
    if (record == Record::Failed && stream.readFailed())
        return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
    return changed(error);
}

bool GifReader::Impl::decodeNext(Error* error)
{
    const std::size_t pixelCount =
        static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height);
    if (canvas.size() != pixelCount)
        canvas.assign(pixelCount, 0); // the canvas starts transparent

    // The previous frame's disposal happens before this frame is drawn.
    const std::size_t stride = static_cast<std::size_t>(info.width);
    if (!pendingRect.empty()) {
        const std::size_t w = static_cast<std::size_t>(pendingRect.x1 - pendingRect.x0);
        for (int y = pendingRect.y0; y < pendingRect.y1; ++y) {
            std::uint32_t* dst = canvas.data() + static_cast<std::size_t>(y) * stride
                                 + static_cast<std::size_t>(pendingRect.x0);
            if (pendingDisposal == Disposal::Background)
                std::fill(dst, dst + w, 0u);
            else if (pendingDisposal == Disposal::Previous)
                std::memcpy(dst, saved.data() + static_cast<std::size_t>(y - pendingRect.y0) * w,
                            w * sizeof(std::uint32_t));
        }
    }
    pendingRect = Rect{};

    FrameHeader header;
    streamAtStart = false;
    if (!nextFrame(header, error))
        return false;

    const Rect area = clip(header);
    const Disposal disposal = DisposalOf(header.disposal);
    if (disposal == Disposal::Previous && !area.empty()) {
        const std::size_t w = static_cast<std::size_t>(area.x1 - area.x0);
        saved.resize(w * static_cast<std::size_t>(area.y1 - area.y0));
        for (int y = area.y0; y < area.y1; ++y)
            std::memcpy(saved.data() + static_cast<std::size_t>(y - area.y0) * w,
                        canvas.data() + static_cast<std::size_t>(y) * stride
                            + static_cast<std::size_t>(area.x0),
                        w * sizeof(std::uint32_t));
    }

    buildLookup(header);
    const int rows = RowsToDecode(header.height, header.interlaced, visibleRows(header));
    const ImageData data = stream.decode(
        header, rows,
        [&](int frameRow, const std::uint16_t* indexes, std::size_t count) {
            drawRow(header, frameRow, indexes, count);
        },
        cancelled);
    const int number = next;
    switch (data) {
    case ImageData::Whole:
        break;
    case ImageData::EndsEarly:
        noteDamage(number - 1, "the image data of frame " + std::to_string(number) + " ends early");
        break;
    case ImageData::BadCode:
        noteDamage(number - 1, "the image data of frame " + std::to_string(number) + " is damaged");
        break;
    case ImageData::BadCodeSize:
        noteDamage(number - 1, CodeSizeDamage(number, header.minCodeSize));
        break;
    case ImageData::Cut:
        return changed(error);
    case ImageData::Failed:
        return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
    case ImageData::Cancelled:
        return cancel(error);
    }

    if (disposal != Disposal::Keep) {
        pendingRect = area;
        pendingDisposal = disposal;
    }
    ++next;
    if (decodedAfterSkip == number) {
        decodedAfterSkip = 0;
        if (data != ImageData::Whole) {
            // The frames skipped show through the damage: decode them.
            if (!restart(error))
                return false;
            while (next <= number)
                if (!decodeNext(error))
                    return false;
        }
    }
    return true;
}

void GifReader::Impl::buildLookup(const FrameHeader& header)
{
    const Rgb* table = nullptr;
    int size = 0;
    if (header.localTableSize > 0) {
        table = header.localTable.data();
        size = header.localTableSize;
    } else if (globalTableSize > 0) {
        table = globalTable.data();
        size = globalTableSize;
    }
    if (table) {
        for (int i = 0; i < size; ++i)
            lookup[static_cast<std::size_t>(i)] = PackRgba(table[i].r, table[i].g, table[i].b, 255);
        // An index beyond the colour table draws nothing, like a
        // transparent one: browsers give those entries no colour.
        std::fill(lookup.begin() + size, lookup.end(), 0u);
    } else {
        // No colour table at all: browsers draw every index opaque black.
        lookup.fill(PackRgba(0, 0, 0, 255));
    }
    if (header.transparent >= 0)
        lookup[static_cast<std::size_t>(header.transparent)] = 0;
}

void GifReader::Impl::drawRow(const FrameHeader& header, int frameRow, const std::uint16_t* indexes,
                              std::size_t count)
{
    const int y = header.top + frameRow;
    if (y >= info.height || header.left >= info.width)
        return; // outside the screen: clipped
    const std::size_t visible = std::min(count, static_cast<std::size_t>(info.width - header.left));
    std::uint32_t* dst = canvas.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(info.width)
                         + static_cast<std::size_t>(header.left);
    for (std::size_t x = 0; x < visible; ++x) {
        const std::uint32_t colour = lookup[indexes[x]];
        if (colour != 0)
            dst[x] = colour;
    }
}

} // namespace qf::imaging
