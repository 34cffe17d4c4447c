#include "gif_reader.h"

#include "errors.h"
#include "gif_lzw.h"
#include "scratch_file.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

namespace qf::imaging {

namespace {

// ---------------------------------------------------------------------------
// Reading the file through giflib

// What giflib reads from: a buffered file, with the facts needed to tell a
// file that ends early from one that is damaged.
struct ByteSource {
    std::FILE* file = nullptr;
    bool ended = false;   // a read came back short: the file ends here
    bool failed = false;  // the system reported a read error
    int lastByte = -1;    // the last byte handed to giflib
};

int ReadBytes(GifFileType* gif, GifByteType* buffer, int size)
{
    auto* source = static_cast<ByteSource*>(gif->UserData);
    if (size <= 0)
        return 0;
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(size), source->file);
    if (got < static_cast<std::size_t>(size)) {
        if (std::ferror(source->file))
            source->failed = true;
        else
            source->ended = true;
    }
    if (got > 0)
        source->lastByte = buffer[got - 1];
    return static_cast<int>(got);
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

struct Rgb {
    std::uint8_t r, g, b;
};

// One image descriptor with the graphic control that precedes it.
struct FrameHeader {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int localTableSize = 0; // 0: the frame has no local colour table
    std::array<Rgb, 256> localTable{};
    int delay = 0;        // hundredths of a second, as stored
    int disposal = 0;     // as stored, 0..7
    int transparent = -1; // the transparent index, -1 for none
    int minCodeSize = 0;  // the byte that opens the image data
};

struct GraphicControl {
    bool present = false;
    int delay = 0;
    int disposal = 0;
    int transparent = -1;
};

enum class Record {
    Frame,   // an image descriptor was read
    End,     // the trailer
    Cut,     // the file ends
    Damaged, // bytes that are no GIF block: browsers stop there
    Failed,  // a read error or no memory
};

enum class Data {
    Block, // a data block
    Done,  // the block that ends the image data
    Cut,   // the file ends inside the image data
    Failed,
};

bool IsSignature(const unsigned char* bytes)
{
    return std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0;
}

// The record-level walk through a GIF, shared by the scan at open and the
// decoding of frames.
class GifStream {
public:
    // Opens path and reads the header. On failure returns false with error.
    bool open(const std::string& path, Error* error)
    {
        path_ = path;
        gif_.reset();
        file_.reset(std::fopen(path.c_str(), "rb"));
        if (!file_) {
            const int code = errno;
            if (code == ENOENT)
                return Fail(error, ErrorKind::Unreadable, path, "does not exist");
            if (code == EACCES)
                return Fail(error, ErrorKind::Unreadable, path, "cannot be read (permission denied)");
            return Fail(error, ErrorKind::Unreadable, path, "cannot be opened (" + SystemReason(code) + ")");
        }
        std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 16);
        return rewind(error);
    }

    // Goes back to the start of the file and reads the header again.
    bool rewind(Error* error)
    {
        gif_.reset();
        source_ = ByteSource{file_.get()};
        pending_ = GraphicControl{};
        loopCount_ = -1;
        unsigned char signature[6] = {};
        if (std::fseek(file_.get(), 0, SEEK_SET) != 0)
            return Fail(error, ErrorKind::Unreadable, path_, "cannot be read (" + SystemReason(errno) + ")");
        const std::size_t got = std::fread(signature, 1, sizeof signature, file_.get());
        if (std::ferror(file_.get()))
            return Fail(error, ErrorKind::Unreadable, path_, "cannot be read (" + SystemReason(errno) + ")");
        if (got == 0)
            return Fail(error, ErrorKind::NotGif, path_, "is empty");
        if (got < sizeof signature || !IsSignature(signature))
            return Fail(error, ErrorKind::NotGif, path_, "is not a GIF file");
        std::fseek(file_.get(), 0, SEEK_SET);

        int code = 0;
        gif_.reset(DGifOpen(&source_, ReadBytes, &code));
        if (!gif_) {
            if (source_.failed)
                return Fail(error, ErrorKind::Unreadable, path_, "cannot be read to the end");
            if (code == D_GIF_ERR_NOT_ENOUGH_MEM)
                return FailOutOfMemory(error, path_);
            return Fail(error, ErrorKind::Corrupt, path_, "is cut short in its header");
        }
        return true;
    }

    const GifFileType& gif() const { return *gif_; }
    int loopCount() const { return loopCount_; }
    bool readFailed() const { return source_.failed; }

    // Reads records up to the next image descriptor, remembering the
    // graphic control and loop extensions on the way.
    Record next(FrameHeader& header)
    {
        for (;;) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif_.get(), &type) == GIF_ERROR)
                return failure(Record::Damaged);
            switch (type) {
            case IMAGE_DESC_RECORD_TYPE:
                return readDescriptor(header);
            case EXTENSION_RECORD_TYPE:
                if (!readExtension())
                    return failure(Record::Damaged);
                break;
            case TERMINATE_RECORD_TYPE:
                return Record::End;
            default:
                return Record::Damaged;
            }
        }
    }

    // The next block of the current image's data.
    Data block(const std::uint8_t** data, std::size_t* size)
    {
        GifByteType* block = nullptr;
        if (DGifGetCodeNext(gif_.get(), &block) == GIF_ERROR)
            return source_.failed ? Data::Failed : Data::Cut;
        if (!block)
            return Data::Done;
        *size = block[0];
        *data = block + 1;
        return Data::Block;
    }

    // Passes over the rest of the current image's data.
    Data skipData()
    {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        for (;;) {
            const Data got = block(&data, &size);
            if (got != Data::Block)
                return got;
        }
    }

private:
    Record failure(Record otherwise) const
    {
        if (source_.failed)
            return Record::Failed;
        if (source_.ended)
            return Record::Cut;
        if (gif_->Error == D_GIF_ERR_NOT_ENOUGH_MEM)
            return Record::Failed;
        return otherwise;
    }

    Record readDescriptor(FrameHeader& header)
    {
        const bool read = DGifGetImageDesc(gif_.get()) != GIF_ERROR;
        // giflib keeps a copy of every descriptor for its whole-file API;
        // frames here are streamed, so drop the copies at once.
        GifFreeSavedImages(gif_.get());
        gif_->SavedImages = nullptr;
        gif_->ImageCount = 0;
        if (!read) {
            // giflib refuses a minimum code size above 8 after reading it
            // (a short read instead sets `ended`). Some encoders write up to
            // 11; the data that follows is still well formed, so go on.
            const bool largeCodeSize = !source_.ended && !source_.failed
                && gif_->Error == D_GIF_ERR_READ_FAILED && source_.lastByte > 8;
            if (!largeCodeSize)
                return failure(Record::Damaged);
        }
        const GifImageDesc& image = gif_->Image;
        header = FrameHeader{};
        header.left = image.Left;
        header.top = image.Top;
        header.width = image.Width;
        header.height = image.Height;
        header.interlaced = image.Interlace;
        if (image.ColorMap) {
            header.localTableSize = std::min(image.ColorMap->ColorCount, 256);
            for (int i = 0; i < header.localTableSize; ++i) {
                const GifColorType& c = image.ColorMap->Colors[i];
                header.localTable[static_cast<std::size_t>(i)] = {c.Red, c.Green, c.Blue};
            }
        }
        // The code size is the last byte giflib read for the descriptor.
        header.minCodeSize = source_.lastByte;
        // A graphic control extension applies to the next image only.
        header.delay = pending_.delay;
        header.disposal = pending_.disposal;
        header.transparent = pending_.transparent;
        pending_ = GraphicControl{};
        return Record::Frame;
    }

    bool readExtension()
    {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif_.get(), &code, &block) == GIF_ERROR)
            return false;
        bool first = true;
        bool loopExtension = false;
        while (block) {
            const int size = block[0];
            const GifByteType* bytes = block + 1;
            if (code == GRAPHICS_EXT_FUNC_CODE && first) {
                // A graphic control block shorter than its 4 bytes is ignored.
                if (size >= 4) {
                    pending_.present = true;
                    pending_.disposal = (bytes[0] >> 2) & 0x07;
                    pending_.delay = bytes[1] | (bytes[2] << 8);
                    pending_.transparent = (bytes[0] & 0x01) ? bytes[3] : -1;
                }
            } else if (code == APPLICATION_EXT_FUNC_CODE) {
                if (first) {
                    loopExtension = size == 11
                        && (std::memcmp(bytes, "NETSCAPE2.0", 11) == 0
                            || std::memcmp(bytes, "ANIMEXTS1.0", 11) == 0);
                } else if (loopExtension && size >= 3 && bytes[0] == 1 && loopCount_ < 0) {
                    // Sub-block 1 holds the repeat count; 0 means forever.
                    loopCount_ = bytes[1] | (bytes[2] << 8);
                }
            }
            first = false;
            if (DGifGetExtensionNext(gif_.get(), &block) == GIF_ERROR)
                return false;
        }
        return true;
    }

    std::string path_;
    FilePtr file_;
    ByteSource source_;
    GifHandle gif_;
    GraphicControl pending_;
    int loopCount_ = -1;
};

// ---------------------------------------------------------------------------
// Compositing

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

// The row of the frame that the n-th decoded row is, for interlaced frames:
// every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
int InterlacedRow(int n, int height)
{
    const int pass1 = (height + 7) / 8;
    if (n < pass1)
        return n * 8;
    n -= pass1;
    const int pass2 = (height + 3) / 8;
    if (n < pass2)
        return 4 + n * 8;
    n -= pass2;
    const int pass3 = (height + 1) / 4;
    if (n < pass3)
        return 2 + n * 4;
    n -= pass3;
    return 1 + n * 2;
}

constexpr int kLookupSize = 1 << (kMaxLzwMinCodeSize + 1);

} // namespace

// ---------------------------------------------------------------------------

struct GifReader::Impl {
    std::string path;
    GifInfo info;
    GifStream stream;
    bool streamAtStart = true; // stream positioned before frame 1
    int next = 1;              // number of the frame readNext decodes

    std::vector<std::uint32_t> canvas;
    std::vector<std::uint32_t> saved; // the area a restore-to-previous frame covers
    Rect pendingRect;
    Disposal pendingDisposal = Disposal::Keep;

    std::array<std::uint32_t, kLookupSize> lookup{};
    std::array<Rgb, 256> globalTable{};
    int globalTableSize = 0;
    std::vector<std::uint16_t> row;
    std::unique_ptr<LzwDecoder> lzw = std::make_unique<LzwDecoder>();

    bool scan(Error* error);
    bool restart(Error* error);
    bool decodeNext(Error* error);
    bool decodeData(const FrameHeader& header, Error* error);
    void buildLookup(const FrameHeader& header);
    void drawRow(const FrameHeader& header, int frameRow, std::size_t count);
    Rect clip(const FrameHeader& header) const;
    bool changed(Error* error) const
    {
        return Fail(error, ErrorKind::Unreadable, path, "changed while it was being read");
    }
};

GifReader::GifReader()
    : impl_(std::make_unique<Impl>())
{
}

GifReader::~GifReader() = default;
GifReader::GifReader(GifReader&&) noexcept = default;
GifReader& GifReader::operator=(GifReader&&) noexcept = default;

bool GifReader::open(const std::string& path, Error* error)
{
    impl_ = std::make_unique<Impl>();
    impl_->path = path;
    try {
        if (!impl_->stream.open(path, error) || !impl_->scan(error)) {
            impl_ = std::make_unique<Impl>();
            return false;
        }
        return impl_->restart(error);
    } catch (const std::bad_alloc&) {
        impl_ = std::make_unique<Impl>();
        return FailOutOfMemory(error, path);
    }
}

// Walks every record once, skipping the pixel data, to learn the frame
// count, the delays and the loop count.
bool GifReader::Impl::scan(Error* error)
{
    streamAtStart = false;
    const GifFileType& gif = stream.gif();
    info = GifInfo{};
    info.width = gif.SWidth;
    info.height = gif.SHeight;
    auto tooLarge = [&] {
        return info.width > kMaxGifSide || info.height > kMaxGifSide
            || static_cast<std::int64_t>(info.width) * info.height > kMaxGifPixels;
    };
    auto refuseSize = [&] {
        return Fail(error, ErrorKind::TooLarge, path,
                    "is " + std::to_string(info.width) + " x " + std::to_string(info.height)
                        + " pixels; the limit is " + std::to_string(kMaxGifSide) + " pixels a side and "
                        + std::to_string(kMaxGifPixels / 1000000) + " megapixels");
    };
    if (info.width > 0 && info.height > 0 && tooLarge())
        return refuseSize();

    Record ending = Record::End;
    for (;;) {
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
        }
        const Data data = stream.skipData();
        if (data == Data::Failed) {
            ending = Record::Failed;
            break;
        }
        if (data == Data::Cut) {
            // A frame whose data the file cuts off is dropped, with
            // everything after it; the frames before it stay.
            ending = Record::Cut;
            break;
        }
        ++info.frameCount;
        if (info.frameCount > kMaxGifFrames)
            return Fail(error, ErrorKind::TooLarge, path,
                        "has more than " + std::to_string(kMaxGifFrames) + " frames, the limit");
        if (static_cast<std::int64_t>(info.frameCount) * info.width * info.height > kMaxGifDecodedPixels)
            return Fail(error, ErrorKind::TooLarge, path,
                        "decodes to more than " + std::to_string(kMaxGifDecodedPixels / 1'000'000'000)
                            + " gigapixels in all (frames x " + std::to_string(info.width) + " x "
                            + std::to_string(info.height) + "), the limit");
        info.delays.push_back(header.delay);
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
    pendingDisposal = Disposal::Keep;
    pendingRect = Rect{};
    canvas.clear();
    return true;
}

const GifInfo& GifReader::info() const
{
    static const GifInfo none;
    return impl_ ? impl_->info : none;
}

int GifReader::nextFrameNumber() const
{
    return impl_ ? impl_->next : 1;
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
        while (d.next < frameNumber) {
            if (!d.decodeNext(error))
                return false;
        }
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory(error, d.path);
    }
    return static_cast<bool>(readNext(frame, error));
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

bool GifReader::Impl::decodeNext(Error* error)
{
    const std::size_t pixelCount = static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height);
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
    const Record record = stream.next(header);
    if (record != Record::Frame) {
        if (record == Record::Failed && stream.readFailed())
            return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
        return changed(error);
    }

    const Rect area = clip(header);
    const Disposal disposal = DisposalOf(header.disposal);
    if (disposal == Disposal::Previous && !area.empty()) {
        const std::size_t w = static_cast<std::size_t>(area.x1 - area.x0);
        saved.resize(w * static_cast<std::size_t>(area.y1 - area.y0));
        for (int y = area.y0; y < area.y1; ++y)
            std::memcpy(saved.data() + static_cast<std::size_t>(y - area.y0) * w,
                        canvas.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(area.x0),
                        w * sizeof(std::uint32_t));
    }

    if (!decodeData(header, error))
        return false;

    if (disposal != Disposal::Keep) {
        pendingRect = area;
        pendingDisposal = disposal;
    }
    ++next;
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

void GifReader::Impl::drawRow(const FrameHeader& header, int frameRow, std::size_t count)
{
    const int y = header.top + frameRow;
    if (y >= info.height || header.left >= info.width)
        return; // outside the screen: clipped
    const std::size_t visible = std::min(count, static_cast<std::size_t>(info.width - header.left));
    std::uint32_t* dst = canvas.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(info.width)
        + static_cast<std::size_t>(header.left);
    const std::uint16_t* src = row.data();
    for (std::size_t x = 0; x < visible; ++x) {
        const std::uint32_t colour = lookup[src[x]];
        if (colour != 0)
            dst[x] = colour;
    }
}

bool GifReader::Impl::decodeData(const FrameHeader& header, Error* error)
{
    buildLookup(header);
    Data data = Data::Block;
    // A frame whose data is damaged keeps the pixels decoded before the
    // damage; the rest of its area shows what was there, as in browsers.
    if (lzw->start(header.minCodeSize) && header.width > 0 && header.height > 0) {
        const std::size_t width = static_cast<std::size_t>(header.width);
        row.resize(width);
        int rowsDone = 0;
        std::size_t filled = 0;
        for (;;) {
            filled += lzw->decode(row.data() + filled, width - filled);
            if (filled == width) {
                drawRow(header, header.interlaced ? InterlacedRow(rowsDone, header.height) : rowsDone, width);
                filled = 0;
                if (++rowsDone == header.height)
                    break; // any further pixels in the data are ignored
                continue;
            }
            if (lzw->status() != LzwDecoder::Status::NeedData)
                break; // end code or damaged code before the frame is full
            const std::uint8_t* bytes = nullptr;
            std::size_t size = 0;
            data = stream.block(&bytes, &size);
            if (data != Data::Block)
                break; // the data ends before the frame is full
            lzw->feed(bytes, size);
        }
        if (filled > 0)
            drawRow(header, header.interlaced ? InterlacedRow(rowsDone, header.height) : rowsDone, filled);
    }
    if (data == Data::Block)
        data = stream.skipData();
    if (data == Data::Done)
        return true;
    if (data == Data::Failed)
        return Fail(error, ErrorKind::Unreadable, path, "cannot be read to the end");
    return changed(error);
}

} // namespace qf::imaging
