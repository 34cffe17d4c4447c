#include "imaging/gif/gif_records.h"

#include "imaging/errors.h"
#include "imaging/file_signatures.h"
#include "imaging/gif/gif_lzw.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace qf::imaging {

namespace {

// The row of the frame that the n-th stored row is, for interlaced data:
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

} // namespace

int RowsToDecode(int height, bool interlaced, int visibleRows)
{
    if (visibleRows <= 0)
        return 0;
    if (visibleRows >= height)
        return height;
    if (!interlaced || visibleRows == 1)
        return visibleRows;
    // The first three passes, then the odd rows above visibleRows.
    return (height + 7) / 8 + (height + 3) / 8 + (height + 1) / 4 + visibleRows / 2;
}

GifStream::GifStream() : lzw_(std::make_unique<LzwDecoder>())
{}

GifStream::~GifStream() = default;

bool GifStream::open(const std::string& path, Error* error)
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
    constexpr std::size_t kBufferBytes = 1 << 16;
    if (!buffer_)
        buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    std::setvbuf(file_.get(), buffer_.get(), _IOFBF, kBufferBytes);
    return rewind(error);
}

bool GifStream::rewind(Error* error)
{
    gif_.reset();
    io_ = GifFileIo{file_.get()};
    pending_ = GraphicControl{};
    loopCount_ = -1;
    unsigned char signature[6] = {};
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0)
        return Fail(error, ErrorKind::Unreadable, path_, "cannot be read (" + SystemReason(errno) + ")");
    const std::size_t got = std::fread(signature, 1, sizeof signature, file_.get());
    if (std::ferror(file_.get()))
        return Fail(error, ErrorKind::Unreadable, path_, "cannot be read (" + SystemReason(errno) + ")");
    if (got == 0)
        return Fail(error, ErrorKind::NotAnimation, path_, "is empty");
    if (!LooksLikeGif(signature, got))
        return Fail(error, ErrorKind::NotAnimation, path_, "is not a GIF file");
    std::fseek(file_.get(), 0, SEEK_SET);

    int code = 0;
    gif_ = OpenGifReading(&io_, &code);
    if (!gif_) {
        if (readFailed())
            return Fail(error, ErrorKind::Unreadable, path_, "cannot be read to the end");
        if (code == D_GIF_ERR_NOT_ENOUGH_MEM)
            return FailOutOfMemory(error, path_);
        return Fail(error, ErrorKind::Corrupt, path_, "is cut short in its header");
    }
    return true;
}

Record GifStream::next(FrameHeader& header)
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

std::int64_t GifStream::fileSize() const
{
    struct stat status {};
    if (!file_ || ::fstat(::fileno(file_.get()), &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    return static_cast<std::int64_t>(status.st_size);
}

GifStream::Block GifStream::block(const std::uint8_t** data, std::size_t* size)
{
    GifByteType* block = nullptr;
    if (DGifGetCodeNext(gif_.get(), &block) == GIF_ERROR)
        return readFailed() ? Block::Failed : Block::Cut;
    if (!block)
        return Block::Done;
    *size = block[0];
    *data = block + 1;
    return Block::Data;
}

ImageData GifStream::skipData()
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    for (;;) {
        switch (block(&data, &size)) {
        case Block::Data:
            break;
        case Block::Done:
            return ImageData::Whole;
        case Block::Cut:
            return ImageData::Cut;
        case Block::Failed:
            return ImageData::Failed;
        }
    }
}

ImageData GifStream::readData(const FrameHeader& header, int rows, const std::function<Step()>& take,
                              const std::function<void()>& flush)
{
    if (!lzw_->start(header.minCodeSize)) {
        const ImageData rest = skipData();
        return rest == ImageData::Whole ? ImageData::BadCodeSize : rest;
    }
    if (header.width <= 0 || rows <= 0)
        return skipData();
    ImageData ending = ImageData::Whole;
    for (;;) {
        const Step step = take();
        if (step == Step::Done)
            break;
        if (step == Step::Cancelled)
            return ImageData::Cancelled;
        if (lzw_->status() == LzwDecoder::Status::BadCode) {
            ending = ImageData::BadCode;
            break;
        }
        if (lzw_->status() == LzwDecoder::Status::End) {
            ending = ImageData::EndsEarly;
            break;
        }
        const std::uint8_t* bytes = nullptr;
        std::size_t size = 0;
        const Block got = block(&bytes, &size);
        if (got == Block::Data) {
            lzw_->feed(bytes, size);
            continue;
        }
        flush();
        if (got == Block::Done)
            return ImageData::EndsEarly;
        return got == Block::Cut ? ImageData::Cut : ImageData::Failed;
    }
    flush();
    const ImageData rest = skipData();
    return rest == ImageData::Whole ? ending : rest;
}

ImageData GifStream::decode(const FrameHeader& header, int rows, const RowSink& sink,
                            const std::function<bool()>& cancelled)
{
    // Data that is damaged or ends early leaves the pixels decoded before it;
    // the caller keeps the rest of the frame's area as it was.
    const std::size_t width = static_cast<std::size_t>(std::max(header.width, 0));
    row_.resize(width);
    auto frameRow = [&](int n) { return header.interlaced ? InterlacedRow(n, header.height) : n; };
    int rowsDone = 0;
    std::size_t filled = 0;
    const auto take = [&] {
        for (;;) {
            filled += lzw_->decode(row_.data() + filled, width - filled);
            if (filled < width)
                return Step::NeedsData;
            sink(frameRow(rowsDone), row_.data(), width);
            filled = 0;
            if (++rowsDone == rows)
                return Step::Done; // any further pixels are not needed, or beyond the frame
            if (cancelled && cancelled())
                return Step::Cancelled;
        }
    };
    const auto flush = [&] {
        if (filled > 0)
            sink(frameRow(rowsDone), row_.data(), filled);
    };
    return readData(header, rows, take, flush);
}

ImageData GifStream::check(const FrameHeader& header, int rows)
{
    const std::size_t needed =
        static_cast<std::size_t>(std::max(header.width, 0)) * static_cast<std::size_t>(std::max(rows, 0));
    std::size_t passed = 0;
    const auto take = [&] {
        passed += lzw_->skip(needed - passed);
        return passed == needed ? Step::Done : Step::NeedsData;
    };
    return readData(header, rows, take, [] {});
}

Record GifStream::failure(Record otherwise) const
{
    if (readFailed())
        return Record::Failed;
    if (io_.ended)
        return Record::Cut;
    if (gif_->Error == D_GIF_ERR_NOT_ENOUGH_MEM)
        return Record::Failed;
    return otherwise;
}

Record GifStream::readDescriptor(FrameHeader& header)
{
    const bool read = DGifGetImageDesc(gif_.get()) != GIF_ERROR;
    // giflib keeps a copy of every descriptor for its whole-file API;
    // frames here are streamed, so drop the copies at once.
    GifFreeSavedImages(gif_.get());
    gif_->SavedImages = nullptr;
    gif_->ImageCount = 0;
    if (!read) {
        // giflib refuses a minimum code size above 8 after reading it (a
        // short read instead sets `ended`). Some encoders write up to 11;
        // the data that follows is still well formed, so go on.
        const bool largeCodeSize =
            !io_.ended && !readFailed() && gif_->Error == D_GIF_ERR_READ_FAILED && io_.lastByte > 8;
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
    header.minCodeSize = io_.lastByte;
    // A graphic control extension applies to the next image only.
    header.delay = pending_.delay;
    header.disposal = pending_.disposal;
    header.transparent = pending_.transparent;
    pending_ = GraphicControl{};
    return Record::Frame;
}

bool GifStream::readExtension()
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

} // namespace qf::imaging
