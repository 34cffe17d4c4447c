#include "imaging/gif/gif_writer.h"

#include "imaging/errors.h"
#include "imaging/files/atomic_file.h"
#include "imaging/files/scratch_file.h"
#include "imaging/gif/gif_io.h"
#include "imaging/size_limits.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

namespace qf::imaging {

namespace {

// ---------------------------------------------------------------------------
// The working file: planned frames wait there until the global colour table
// is known, since it is written before them. Each record is a small header,
// the local table and the code stream, already cut into the data blocks of
// the file (a length byte and up to 255 bytes each, without the final empty
// one), so that the file takes each frame's data in one write.

void PutU16(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

int GetU16(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

constexpr std::size_t kRecordHeader = 20;

struct SpooledFrame {
    int left = 0, top = 0, width = 0, height = 0;
    int delay = 0;
    int disposal = 1;
    int transparentIndex = -1;
    int minCodeSize = 2;
    std::vector<std::uint32_t> localTable; // empty: the global table
    std::vector<std::uint8_t> blocks;      // the code stream in data blocks
};

struct MapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapFree>;

MapPtr MakeMap(const std::vector<std::uint32_t>& colours)
{
    MapPtr map(GifMakeMapObject(static_cast<int>(colours.size()), nullptr));
    if (!map)
        throw std::bad_alloc();
    for (std::size_t i = 0; i < colours.size(); ++i) {
        map->Colors[i].Red = static_cast<GifByteType>(colours[i] >> 16);
        map->Colors[i].Green = static_cast<GifByteType>(colours[i] >> 8);
        map->Colors[i].Blue = static_cast<GifByteType>(colours[i]);
    }
    return map;
}

int BytesPerPixel(PixelLayout layout)
{
    return layout == PixelLayout::Rgb ? 3 : 4;
}

// Packed frames outlive the frame they were taken for: a frame is the
// previous one of the next frame's encoding. They are recycled rather than
// allocated for every frame.
class PackedFramePool {
public:
    std::shared_ptr<PackedFrame> take()
    {
        std::unique_ptr<PackedFrame> frame;
        {
            std::lock_guard lock(state_->mutex);
            if (!state_->free.empty()) {
                frame = std::move(state_->free.back());
                state_->free.pop_back();
            }
        }
        if (!frame)
            frame = std::make_unique<PackedFrame>();
        return {frame.release(), [state = state_](PackedFrame* released) {
                    std::lock_guard lock(state->mutex);
                    state->free.emplace_back(released);
                }};
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::unique_ptr<PackedFrame>> free;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Frame encoders hold work space: one for each thread encoding at a time,
// lent out for a stage and given back.
class EncoderPool {
public:
    template <typename Work>
    bool use(const Work& work)
    {
        std::unique_ptr<FrameEncoder> encoder;
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                encoder = std::move(free_.back());
                free_.pop_back();
            }
        }
        if (!encoder)
            encoder = std::make_unique<FrameEncoder>();
        struct GiveBack {
            EncoderPool& pool;
            std::unique_ptr<FrameEncoder>& encoder;
            ~GiveBack()
            {
                std::lock_guard lock(pool.mutex_);
                pool.free_.push_back(std::move(encoder));
            }
        } giveBack{*this, encoder};
        return work(*encoder);
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<FrameEncoder>> free_;
};

// A frame in the stages: its packed colours, and the encoding of the frame
// before it, which link hands over once this frame is known.
struct GifOutputFrame : OutputFrame {
    std::shared_ptr<PackedFrame> packed;
    std::optional<FrameJob> job;
    EncodedFrame encoded;
    bool encodedReady = false;
};

GifOutputFrame& Gif(OutputFrame& frame)
{
    return static_cast<GifOutputFrame&>(frame);
}

// Frames share colours in runs of at most this many (see SharedColours): a
// second of film, whose frames are checked one by one against the colours
// anyway. Against runs of 8 it saves a twelfth of the time on film footage
// for 0.15 dB of PSNR. A run ends early at a frame its colours do not serve,
// which begins the next one.
constexpr int kColourRun = 24;

} // namespace

struct GifAnimationWriter::Impl {
    std::string path;
    int width = 0;
    int height = 0;
    int loopCount = -1;
    bool open = false;
    bool mergeRepeats = false;

    AtomicFile out;
    FilePtr spool;
    GlobalPaletteBuilder palette;
    std::optional<FrameJob> waiting;       // the latest frame, waiting for its successor
    int frames = 0;                        // frames linked
    int runStart = 0;                      // the number of the frame that began the latest run
    bool runMayEnd = false;                // it ends at a frame it does not serve (see link)
    int appended = 0;                      // frames appended
    int globalMaxIndex = -1;               // the largest global index a frame used
    std::unique_ptr<FrameEncoder> encoder; // for frames encoded here
    std::vector<std::uint32_t> view;       // what a decoder shows; empty: nothing
    GifLevels levels;
    PackedFramePool packedPool;
    EncoderPool encoders;
    std::shared_ptr<SharedColours> runColours; // of the run of the latest frame linked
    std::vector<std::uint8_t> blocks;          // spoolFrame's data blocks, kept for the next frame

    bool link(std::shared_ptr<const PackedFrame> frame, int delay, std::optional<FrameJob>* job,
              Error* error);
    bool append(const EncodedFrame& frame, Error* error);

    bool encodeAndAppend(FrameJob& job, Error* error);
    bool spoolFrame(const EncodedFrame& frame, Error* error);
    bool readSpooled(SpooledFrame& frame, bool* done, Error* error);
    bool writeFile(Error* error);
    std::vector<std::uint32_t> globalTable() const;
    void close()
    {
        out.discard();
        spool.reset();
        palette = GlobalPaletteBuilder();
        waiting.reset();
        encoder.reset();
        runColours.reset();
        view.clear();
        open = false;
    }
};

GifAnimationWriter::GifAnimationWriter(bool mergeRepeats) : impl_(std::make_unique<Impl>())
{
    impl_->mergeRepeats = mergeRepeats;
}

GifAnimationWriter::~GifAnimationWriter()
{
    abort();
}

bool GifAnimationWriter::open(const std::string& path, int width, int height, int loopCount, Error* error)
{
    abort();
    Impl& d = *impl_;
    if (!CheckAnimation(path, width, height, kMaxSide, loopCount, error))
        return false;
    try {
        if (!d.out.open(path, error))
            return false;
        d.spool = OpenScratchFile(path, error);
        if (!d.spool) {
            d.out.discard();
            return false;
        }
    } catch (const std::bad_alloc&) {
        d.close();
        return FailOutOfMemory(error, path);
    }
    d.path = path;
    d.width = width;
    d.height = height;
    d.loopCount = loopCount;
    d.frames = 0;
    d.runStart = 0;
    d.runMayEnd = false;
    d.runColours.reset();
    d.appended = 0;
    d.globalMaxIndex = -1;
    d.view.clear();
    d.open = true;
    return true;
}

void GifAnimationWriter::setQuality(int quality)
{
    impl_->levels = LevelsFor(quality);
}

bool GifAnimationWriter::addFrame(const ImageView& frame, int delay, Error* error)
{
    Impl& d = *impl_;
    if (!d.open)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (!CheckFrame(d.path, d.frames + 1, frame.width, frame.height, delay, d.width, d.height, error))
        return false;
    if (!frame.pixels
        || frame.stride < static_cast<std::ptrdiff_t>(frame.width) * BytesPerPixel(frame.layout))
        return Fail(error, ErrorKind::InvalidArgument, d.path,
                    "frame " + std::to_string(d.frames + 1) + " has no pixels or rows that overlap");
    std::optional<FrameJob> job;
    try {
        auto packed = std::make_shared<PackedFrame>();
        packed->pack(frame);
        if (!d.link(std::move(packed), delay, &job, error))
            return false;
    } catch (const std::bad_alloc&) {
        d.close();
        return FailOutOfMemory(error, d.path);
    }
    if (job && !d.encodeAndAppend(*job, error)) {
        d.close();
        return false;
    }
    return true;
}

bool GifAnimationWriter::Impl::link(std::shared_ptr<const PackedFrame> frame, int delay,
                                    std::optional<FrameJob>* job, Error* error)
{
    Impl& d = *this;
    job->reset();
    if (!d.open)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (!frame)
        return Fail(error, ErrorKind::InvalidArgument, d.path,
                    "frame " + std::to_string(d.frames + 1) + " has no pixels");
    if (!CheckFrame(d.path, d.frames + 1, frame->width, frame->height, delay, d.width, d.height, error))
        return false;
    // Merged frames last as long as they played apart.
    if (d.mergeRepeats && d.waiting && PlayedDelay(d.waiting->delay) + PlayedDelay(delay) <= kMaxDelay
        && d.waiting->frame->pixels == frame->pixels) {
        d.waiting->delay = PlayedDelay(d.waiting->delay) + PlayedDelay(delay);
        return true;
    }
    if (d.levels.stillTolerance > 0 && d.waiting) {
        // Pixels that barely changed keep the colour they had, so that they
        // are not drawn again.
        auto held = std::make_shared<PackedFrame>(*frame);
        held->holdStill(*d.waiting->frame, d.levels.stillTolerance);
        frame = std::move(held);
    }
    std::shared_ptr<const GlobalPalette> global = d.palette.add(*frame);
    std::shared_ptr<const PackedFrame> previous;
    if (d.waiting) {
        *job = std::move(d.waiting);
        (*job)->next = frame;
        (*job)->global = global;
        previous = (*job)->frame;
    }
    ++d.frames;
    // A frame the run's colours do not serve begins the next run, rather
    // than taking colours for itself alone. Film's pictures are coded more
    // and less finely in a repeating pattern, the coarse ones about a
    // quarter further from any colours: after a run that began on a fine
    // one, each coarse frame (and most others) missed the allowance and
    // chose colours of its own (a clip converted from 5 s in: 71 choices
    // for 125 frames, where the whole clip made 12 for 250). Begun on a
    // coarse frame, a run serves the fine ones too. Told here, in frame
    // order, so that the output does not hang on which worker came first.
    // But the next frame's test waits for the colours a run begun so
    // chooses: until such a run serves a frame, the frames it does not
    // serve take colours of their own, on the workers, as before (a pan
    // whose every frame brings new colours: choosing each in this stage
    // took 6% longer).
    const bool reduced = !frame->fitsTable || !d.levels.lossless();
    bool begins = !d.runColours || d.frames - d.runStart >= kColourRun;
    if (!begins && reduced) {
        const bool served = d.runColours->serves(*frame, previous.get(), d.levels);
        begins = !served && d.runMayEnd;
        d.runMayEnd = d.runMayEnd || served;
    }
    if (begins) {
        // A run of the full length may end at the first frame it does not
        // serve; one begun there, once it has served one.
        d.runMayEnd = d.frames - d.runStart >= kColourRun || !d.runColours;
        d.runStart = d.frames;
        d.runColours = std::make_shared<SharedColours>(frame, previous);
        // Chosen now, in frame order, when the run's frames will likely be
        // reduced. Left to the first frame that asks, on some worker, they
        // kept the workers preparing the frames after it waiting idle while
        // they were chosen (on film, about 120 ms a core in 10 s); chosen
        // here, the other workers go on with the frames around this one. A
        // failure is told to the frames that ask for them.
        if (reduced) {
            std::string failure;
            d.runColours->get(d.levels, &failure);
        }
    }
    d.waiting = FrameJob{std::move(previous),
                         std::move(frame),
                         nullptr,
                         std::move(global),
                         d.frames,
                         delay,
                         d.levels,
                         d.runColours,
                         {},
                         {}};
    return true;
}

bool GifAnimationWriter::Impl::append(const EncodedFrame& frame, Error* error)
{
    Impl& d = *this;
    if (!d.open)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (frame.number != d.appended + 1) {
        d.close();
        return Fail(error, ErrorKind::InvalidArgument, d.path,
                    "frame " + std::to_string(frame.number) + " was given out of order");
    }
    if (!d.spoolFrame(frame, error)) {
        d.close();
        return false;
    }
    if (frame.globalTable)
        d.globalMaxIndex = std::max(d.globalMaxIndex, frame.globalMaxIndex);
    ++d.appended;
    return true;
}

bool GifAnimationWriter::finish(Error* error)
{
    Impl& d = *impl_;
    if (!d.open)
        return Fail(error, ErrorKind::InvalidArgument, d.path, "no animation is being written");
    if (d.frames == 0) {
        d.close();
        return Fail(error, ErrorKind::NoImage, d.path, "cannot be written without a frame");
    }
    FrameJob last = std::move(*d.waiting);
    d.waiting.reset();
    const bool written = d.encodeAndAppend(last, error) && d.writeFile(error) && d.out.commit(error);
    d.close();
    return written;
}

void GifAnimationWriter::abort()
{
    if (impl_)
        impl_->close();
}

std::unique_ptr<OutputFrame> GifAnimationWriter::newFrame()
{
    return std::make_unique<GifOutputFrame>();
}

void GifAnimationWriter::take(OutputFrame& frame, const ImageView& picture)
{
    GifOutputFrame& gif = Gif(frame);
    gif.packed = impl_->packedPool.take();
    gif.packed->pack(picture);
}

bool GifAnimationWriter::link(OutputFrame& frame, int delay, Error* error)
{
    GifOutputFrame& gif = Gif(frame);
    gif.encodedReady = false;
    const bool linked = impl_->link(std::move(gif.packed), delay, &gif.job, error);
    gif.packed.reset();
    return linked;
}

bool GifAnimationWriter::prepare(OutputFrame& frame, Error* error)
{
    GifOutputFrame& gif = Gif(frame);
    if (!gif.job)
        return true;
    std::string reason;
    return impl_->encoders.use([&](FrameEncoder& encoder) { return encoder.prepare(*gif.job, &reason); })
           || Fail(error, ErrorKind::LibraryFailed, impl_->path, reason);
}

void GifAnimationWriter::show(OutputFrame& frame)
{
    GifOutputFrame& gif = Gif(frame);
    if (!gif.job)
        return;
    // The view before the frame goes with the job, and becomes the view after it.
    gif.job->shown = impl_->view;
    ShowFrame(*gif.job, impl_->view);
}

bool GifAnimationWriter::compress(OutputFrame& frame, Error* error)
{
    GifOutputFrame& gif = Gif(frame);
    if (!gif.job)
        return true;
    std::string reason;
    const bool encoded = impl_->encoders.use(
        [&](FrameEncoder& encoder) { return encoder.encode(*gif.job, gif.encoded, &reason); });
    gif.job.reset();
    gif.encodedReady = encoded;
    return encoded || Fail(error, ErrorKind::LibraryFailed, impl_->path, reason);
}

bool GifAnimationWriter::append(OutputFrame& frame, int* completed, Error* error)
{
    GifOutputFrame& gif = Gif(frame);
    *completed = impl_->appended;
    if (!gif.encodedReady)
        return true;
    gif.encodedReady = false;
    if (!impl_->append(gif.encoded, error))
        return false;
    *completed = impl_->appended;
    return true;
}

bool GifAnimationWriter::Impl::encodeAndAppend(FrameJob& job, Error* error)
{
    EncodedFrame encoded;
    std::string reason;
    try {
        if (!encoder)
            encoder = std::make_unique<FrameEncoder>();
        if (!encoder->prepare(job, &reason))
            return Fail(error, ErrorKind::LibraryFailed, path, reason);
        job.shown = view;
        ShowFrame(job, view);
        if (!encoder->encode(job, encoded, &reason))
            return Fail(error, ErrorKind::LibraryFailed, path, reason);
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory(error, path);
    }
    if (encoded.number != appended + 1)
        return Fail(error, ErrorKind::InvalidArgument, path,
                    "frame " + std::to_string(encoded.number) + " was given out of order");
    if (!spoolFrame(encoded, error))
        return false;
    if (encoded.globalTable)
        globalMaxIndex = std::max(globalMaxIndex, encoded.globalMaxIndex);
    ++appended;
    return true;
}

// The global colour table: the colours gathered, padded to a power of two
// that covers every index a frame used. Empty when no frame uses it.
std::vector<std::uint32_t> GifAnimationWriter::Impl::globalTable() const
{
    if (globalMaxIndex < 0)
        return {};
    std::vector<std::uint32_t> table = palette.current()->colours;
    const int needed = std::max(static_cast<int>(table.size()), globalMaxIndex + 1);
    int size = 2;
    while (size < needed)
        size *= 2;
    table.resize(static_cast<std::size_t>(size), 0xFF000000u);
    return table;
}

bool GifAnimationWriter::Impl::spoolFrame(const EncodedFrame& frame, Error* error)
{
    // The header and table, then the code stream written from where it is.
    std::vector<std::uint8_t> record;
    record.reserve(kRecordHeader + frame.localTable.size() * 3);
    PutU16(record, frame.left);
    PutU16(record, frame.top);
    PutU16(record, frame.width);
    PutU16(record, frame.height);
    PutU16(record, frame.delay);
    record.push_back(static_cast<std::uint8_t>(frame.disposal));
    record.push_back(frame.transparentIndex >= 0 ? 1 : 0);
    record.push_back(static_cast<std::uint8_t>(std::max(frame.transparentIndex, 0)));
    record.push_back(static_cast<std::uint8_t>(frame.minCodeSize));
    PutU16(record, frame.globalTable ? 0 : static_cast<int>(frame.localTable.size()));
    // The code stream in data blocks of up to 255 bytes.
    const std::size_t lzwSize = frame.lzw.size();
    blocks.resize(lzwSize + (lzwSize + 254) / 255);
    std::uint8_t* at = blocks.data();
    for (std::size_t from = 0; from < lzwSize; from += 255) {
        const std::size_t size = std::min<std::size_t>(255, lzwSize - from);
        *at++ = static_cast<std::uint8_t>(size);
        std::memcpy(at, frame.lzw.data() + from, size);
        at += size;
    }
    const std::uint32_t blocksSize = static_cast<std::uint32_t>(blocks.size());
    for (int shift = 0; shift < 32; shift += 8)
        record.push_back(static_cast<std::uint8_t>(blocksSize >> shift));
    if (!frame.globalTable) {
        for (std::uint32_t colour : frame.localTable) {
            record.push_back(static_cast<std::uint8_t>(colour >> 16));
            record.push_back(static_cast<std::uint8_t>(colour >> 8));
            record.push_back(static_cast<std::uint8_t>(colour));
        }
    }
    if (std::fwrite(record.data(), 1, record.size(), spool.get()) != record.size()
        || std::fwrite(blocks.data(), 1, blocks.size(), spool.get()) != blocks.size())
        return Fail(error, ErrorKind::Unwritable, path, WriteReason(errno ? errno : EIO));
    return true;
}

bool GifAnimationWriter::Impl::readSpooled(SpooledFrame& frame, bool* done, Error* error)
{
    *done = false;
    std::uint8_t header[kRecordHeader];
    const std::size_t got = std::fread(header, 1, sizeof header, spool.get());
    if (got == 0 && std::feof(spool.get())) {
        *done = true;
        return true;
    }
    auto lost = [&] { return Fail(error, ErrorKind::Unwritable, path, "cannot read back its working file"); };
    if (got != sizeof header)
        return lost();
    frame.left = GetU16(header);
    frame.top = GetU16(header + 2);
    frame.width = GetU16(header + 4);
    frame.height = GetU16(header + 6);
    frame.delay = GetU16(header + 8);
    frame.disposal = header[10];
    frame.transparentIndex = header[11] ? header[12] : -1;
    frame.minCodeSize = header[13];
    const std::size_t tableSize = static_cast<std::size_t>(GetU16(header + 14));
    std::size_t blocksSize = 0;
    for (int i = 0; i < 4; ++i)
        blocksSize |= static_cast<std::size_t>(header[16 + i]) << (8 * i);

    std::vector<std::uint8_t> table(tableSize * 3);
    if (std::fread(table.data(), 1, table.size(), spool.get()) != table.size())
        return lost();
    frame.localTable.resize(tableSize);
    for (std::size_t i = 0; i < tableSize; ++i)
        frame.localTable[i] = PackOpaque(table[i * 3], table[i * 3 + 1], table[i * 3 + 2]);
    frame.blocks.resize(blocksSize);
    if (std::fread(frame.blocks.data(), 1, blocksSize, spool.get()) != blocksSize)
        return lost();
    return true;
}

// The file, in order: header and screen with the global table, the loop
// extension, then per frame its graphic control, descriptor, local table and
// data blocks, and the trailer.
bool GifAnimationWriter::Impl::writeFile(Error* error)
{
    if (std::fflush(spool.get()) != 0 || std::ferror(spool.get()))
        return Fail(error, ErrorKind::Unwritable, path, WriteReason(errno ? errno : EIO));
    std::rewind(spool.get());

    GifFileIo sink{out.stream()};
    int code = 0;
    GifWriteHandle gif = OpenGifWriting(&sink, &code);
    if (!gif)
        return FailOutOfMemory(error, path);
    auto failed = [&](const char* what) {
        if (sink.errorCode != 0)
            return Fail(error, ErrorKind::Unwritable, path, WriteReason(sink.errorCode));
        return Fail(error, ErrorKind::Unwritable, path, std::string("cannot be written (") + what + ")");
    };

    EGifSetGifVersion(gif.get(), true);
    const std::vector<std::uint32_t> globalColours = globalTable();
    MapPtr globalMap = globalColours.empty() ? nullptr : MakeMap(globalColours);
    if (EGifPutScreenDesc(gif.get(), width, height, 8, 0, globalMap.get()) == GIF_ERROR || sink.errorCode)
        return failed("screen");

    if (loopCount >= 0) {
        const GifByteType loop[3] = {1, static_cast<GifByteType>(loopCount & 0xFF),
                                     static_cast<GifByteType>(loopCount >> 8)};
        if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) == GIF_ERROR
            || EGifPutExtensionBlock(gif.get(), 11, "NETSCAPE2.0") == GIF_ERROR
            || EGifPutExtensionBlock(gif.get(), 3, loop) == GIF_ERROR
            || EGifPutExtensionTrailer(gif.get()) == GIF_ERROR || sink.errorCode)
            return failed("loop extension");
    }

    SpooledFrame frame;
    for (;;) {
        bool done = false;
        if (!readSpooled(frame, &done, error))
            return false;
        if (done)
            break;

        // The graphic control is left out when it would say nothing: no
        // delay, no transparency, nothing to clear.
        if (frame.delay != 0 || frame.transparentIndex >= 0 || frame.disposal == 2) {
            GraphicsControlBlock control{};
            control.DisposalMode = frame.disposal;
            control.UserInputFlag = false;
            control.DelayTime = frame.delay;
            control.TransparentColor =
                frame.transparentIndex >= 0 ? frame.transparentIndex : NO_TRANSPARENT_COLOR;
            GifByteType bytes[4];
            const std::size_t length = EGifGCBToExtension(&control, bytes);
            if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), bytes)
                    == GIF_ERROR
                || sink.errorCode)
                return failed("frame");
        }

        int descriptorResult = GIF_OK;
        if (!frame.localTable.empty()) {
            const MapPtr local = MakeMap(frame.localTable);
            descriptorResult = EGifPutImageDesc(gif.get(), frame.left, frame.top, frame.width, frame.height,
                                                false, local.get());
        } else {
            // giflib writes the minimum code size of the table the frame
            // uses; a frame that needs only the low indexes of the global
            // table compresses better with a smaller one, so show giflib a
            // table of that size while it writes the descriptor.
            // (giflib forgets, without freeing, a local table it holds.)
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
            MapPtr sized(GifMakeMapObject(1 << frame.minCodeSize, nullptr));
            if (!sized)
                throw std::bad_alloc();
            ColorMapObject* global = gif->SColorMap;
            gif->SColorMap = sized.get();
            descriptorResult =
                EGifPutImageDesc(gif.get(), frame.left, frame.top, frame.width, frame.height, false, nullptr);
            gif->SColorMap = global;
        }
        if (descriptorResult == GIF_ERROR || sink.errorCode)
            return failed("frame");

        // The data blocks in one write to the stream giflib writes to (it
        // holds nothing back), and giflib's empty block that ends them.
        if (std::fwrite(frame.blocks.data(), 1, frame.blocks.size(), sink.file) != frame.blocks.size())
            sink.errorCode = errno ? errno : EIO;
        if (sink.errorCode || EGifPutCodeNext(gif.get(), nullptr) == GIF_ERROR || sink.errorCode)
            return failed("frame data");
    }

    GifFileType* raw = gif.release();
    const int closed = EGifCloseFile(raw, &code);
    if (closed == GIF_ERROR || sink.errorCode)
        return failed("trailer");
    return true;
}

} // namespace qf::imaging
