// The walk through a GIF's records: the header and screen, extensions,
// image descriptors and the LZW-compressed image data, read through giflib.
// Pixels come out as rows of palette indexes; what is done with them is the
// compositor's business (gif_reader.cpp).
#pragma once

#include "imaging/files/scratch_file.h"
#include "imaging/gif/gif_io.h"
#include "imaging/image.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qf::imaging {

class LzwDecoder;

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

enum class Record {
    Frame,   // an image descriptor was read
    End,     // the trailer
    Cut,     // the file ends
    Damaged, // bytes that are no GIF block: browsers stop there
    Failed,  // a read error or no memory
};

// How a frame's image data ended.
enum class ImageData {
    Whole,       // every row needed was decoded and the data ends properly
    EndsEarly,   // the data ends before the rows needed are full
    BadCode,     // a code that names no table entry: the data is damaged
    BadCodeSize, // a minimum code size no decoder can read; nothing decoded
    Cut,         // the file ends inside the data
    Failed,      // a read error
    Cancelled,   // the cancel check asked to stop
};

// How many rows, in the order the data stores them, must be decoded so that
// every frame row below visibleRows is drawn: interlaced data stores every
// 8th row, then the 4th, the 2nd and the odd rows.
int RowsToDecode(int height, bool interlaced, int visibleRows);

// Receives decoded rows: the frame row, its palette indexes and how many of
// them there are (fewer than the frame's width only where the data ends).
using RowSink = std::function<void(int frameRow, const std::uint16_t* indexes, std::size_t count)>;

class GifStream {
public:
    GifStream();
    ~GifStream();
    // giflib keeps the address of io_: the stream stays where it is.
    GifStream(const GifStream&) = delete;
    GifStream& operator=(const GifStream&) = delete;

    // Opens path and reads the header. On failure returns false with error.
    bool open(const std::string& path, Error* error);

    // Goes back to the start of the file and reads the header again.
    bool rewind(Error* error);

    const GifFileType& gif() const { return *gif_; }
    int loopCount() const { return loopCount_; }
    bool readFailed() const { return io_.errorCode != 0; }
    // The file's size in bytes, 0 when the system does not say.
    std::int64_t fileSize() const;

    // Reads records up to the next image descriptor, remembering the
    // graphic control and loop extensions on the way.
    Record next(FrameHeader& header);

    // Passes over the current image's data without decoding it.
    ImageData skipData();

    // Decodes the first `rows` rows (in stored order) of the current image's
    // data into sink and passes over the rest. cancelled, when set, is asked
    // between rows.
    ImageData decode(const FrameHeader& header, int rows, const RowSink& sink,
                     const std::function<bool()>& cancelled);

    // Reads the current image's data as decode() does and ends the same way,
    // without spelling out a pixel (LzwDecoder::skip): the damage of a frame
    // of any size is found in the time its codes take to read.
    ImageData check(const FrameHeader& header, int rows);

private:
    enum class Block { Data, Done, Cut, Failed };
    Block block(const std::uint8_t** data, std::size_t* size);
    // What the decoder's user made of the codes at hand.
    enum class Step { NeedsData, Done, Cancelled };
    // The walk decode() and check() share: feeds the current image's data
    // to the decoder, block by block, asking take() after each, up to the
    // end of the data or the first damage; flush() hands on a row left part
    // full where the data ends. The rest of the data is passed over.
    ImageData readData(const FrameHeader& header, int rows, const std::function<Step()>& take,
                       const std::function<void()>& flush);
    Record failure(Record otherwise) const;
    Record readDescriptor(FrameHeader& header);
    bool readExtension();

    struct GraphicControl {
        int delay = 0;
        int disposal = 0;
        int transparent = -1;
    };

    std::string path_;
    // The file's buffer, given to the C library (which, handed none, keeps
    // its own of a few kilobytes whatever size is asked): it outlives the
    // file, which is closed before it is freed.
    std::unique_ptr<char[]> buffer_;
    FilePtr file_;
    GifFileIo io_;
    GifReadHandle gif_;
    GraphicControl pending_;
    int loopCount_ = -1;
    std::unique_ptr<LzwDecoder> lzw_;
    std::vector<std::uint16_t> row_;
};

} // namespace qf::imaging
