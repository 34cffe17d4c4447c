// The GIF reader against broken and hostile files: every case ends in a
// clean error naming the file, or in frames of the announced size.
#include "child_process.h"
#include "gif_cases.h"
#include "test_files.h"

#include "imaging/gif_reader.h"

#include <gtest/gtest.h>

namespace qf::hardening {
namespace {

using gifbytes::Expect;
using gifbytes::GifCase;
using imaging::Error;
using imaging::ErrorKind;
using imaging::GifReader;
using imaging::RgbaImage;

// Opens path and decodes every frame, in order and by number; returns what
// went wrong, empty when the reader behaved.
std::string Exercise(const std::string& path, const GifCase& c)
{
    GifReader reader;
    Error error;
    const bool opened = reader.open(path, &error);
    if (!opened) {
        if (!error || error.reason.empty()) {
            return "refused without a reason";
        }
        if (error.file != path) {
            return "the error names '" + error.file + "', not the file";
        }
        if (c.expect == Expect::Opens) {
            return "refused: " + error.message();
        }
        if (c.expect == Expect::TooLarge && error.kind != ErrorKind::TooLarge) {
            return "refused, but not as too large: " + error.message();
        }
        return {};
    }
    if (c.expect == Expect::Refused || c.expect == Expect::TooLarge) {
        return "opened a file that must be refused";
    }
    const imaging::GifInfo& info = reader.info();
    if (info.width <= 0 || info.height <= 0 || info.frameCount <= 0) {
        return "opened with an empty screen or no frames";
    }
    if (info.frameCount < c.minFrames) {
        return "only " + std::to_string(info.frameCount) + " frames";
    }
    if (info.delays.size() != static_cast<std::size_t>(info.frameCount)) {
        return "delays and frame count disagree";
    }
    const std::size_t bytes = static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height) * 4;
    RgbaImage frame;
    for (int n = 1; n <= info.frameCount; ++n) {
        if (!reader.readNext(frame, &error)) {
            return "frame " + std::to_string(n) + " of " + std::to_string(info.frameCount)
                   + " does not decode: " + error.message();
        }
        if (frame.width != info.width || frame.height != info.height || frame.pixels.size() != bytes) {
            return "frame " + std::to_string(n) + " has the wrong size";
        }
    }
    error = {};
    if (reader.readNext(frame, &error) || error) {
        return "a frame, or an error, after the last frame";
    }
    // Random access: the last frame, then the first again, then frames that
    // do not exist.
    RgbaImage again;
    if (!reader.readFrame(info.frameCount, again, &error) || again.pixels != frame.pixels) {
        return "the last frame differs when read directly";
    }
    if (!reader.readFrame(1, again, &error) || again.pixels.size() != bytes) {
        return "frame 1 cannot be read again";
    }
    for (int n : {0, -1, info.frameCount + 1}) {
        Error outOfRange;
        if (reader.readFrame(n, again, &outOfRange)) {
            return "frame " + std::to_string(n) + " reads";
        }
    }
    return {};
}

class BrokenGif : public ::testing::TestWithParam<GifCase> {};

TEST_P(BrokenGif, AnswersCleanly)
{
    const GifCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file(c.name + ".gif");
    WriteBytes(path, c.bytes);
    EXPECT_EQ(Exercise(path, c), "");
}

// Claimed sizes must never turn into allocations: with the address space
// capped far below what the claims would need, each case still ends cleanly.
TEST_P(BrokenGif, FitsInLittleMemory)
{
    if (BuiltWithAddressSanitizer()) {
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the cap allows";
    }
    const GifCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file(c.name + ".gif");
    WriteBytes(path, c.bytes);
    Limits limits;
    limits.addressSpaceBytes = 512ll << 20;
    const ChildResult child = RunInChild(
        [&] {
            GifReader reader;
            Error error;
            RgbaImage frame;
            if (reader.open(path, &error)) {
                while (reader.readNext(frame, &error)) {
                }
            }
            return 0;
        },
        limits);
    EXPECT_TRUE(child.clean() && child.exitCode == 0) << child.describe();
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenGif, ::testing::ValuesIn(gifbytes::ConformanceCases()),
                         [](const ::testing::TestParamInfo<GifCase>& info) { return info.param.name; });

// A screen of width x height with frameCount 1 x 1 frames: a few bytes a
// frame that each cost a whole canvas to decode.
gifbytes::Bytes TinyFrames(int width, int height, int frameCount)
{
    gifbytes::Bytes bytes;
    gifbytes::PutHeader(bytes);
    const gifbytes::Palette palette = {{0, 0, 0}, {255, 255, 255}};
    gifbytes::PutScreen(bytes, width, height, &palette);
    gifbytes::Bytes frame;
    gifbytes::PutControl(frame, 1, 2);
    gifbytes::PutFrame(frame, {0, 0, 1, 1}, {1}, 2);
    for (int f = 0; f < frameCount; ++f) {
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    gifbytes::PutTrailer(bytes);
    return bytes;
}

// Each limit is checked at its edge: the largest allowed file opens, one
// step beyond is refused as too large, naming the file. A file of a few
// hundred bytes may ask for about 1 gigapixel of work: ten 100-megapixel
// frames, not eleven.
TEST(ReaderLimits, ScreenFramesAndWork)
{
    struct Row {
        std::string name;
        int width, height, frames;
        bool opens;
    };
    const int wide = imaging::kMaxGifSide;
    const std::vector<Row> rows = {
        {"widest_is_one_row_high", wide, 1, 2, true},
        {"largest_area", 10000, 10000, 2, true},
        {"area_beyond", 10000, 10001, 2, false},
        {"most_frames", 2, 2, imaging::kMaxGifFrames, true},
        {"frames_beyond", 2, 2, imaging::kMaxGifFrames + 1, false},
        {"most_work", 10000, 10000, 10, true},
        {"work_beyond", 10000, 10000, 11, false},
    };
    TempDir dir;
    for (const Row& row : rows) {
        const std::string path = dir.file(row.name + ".gif");
        WriteBytes(path, TinyFrames(row.width, row.height, row.frames));
        GifReader reader;
        Error error;
        EXPECT_EQ(reader.open(path, &error), row.opens) << row.name << ": " << error.message();
        if (row.opens) {
            EXPECT_EQ(reader.info().frameCount, row.frames) << row.name;
        } else {
            EXPECT_EQ(error.kind, ErrorKind::TooLarge) << row.name;
            EXPECT_EQ(error.file, path);
        }
        std::filesystem::remove(path);
    }
}

TEST(ReaderPaths, MissingFileAndFolderAreUnreadable)
{
    TempDir dir;
    for (const std::string& path : {dir.file("missing.gif"), dir.path().string(),
                                    dir.file("missing-folder/a.gif")}) {
        GifReader reader;
        Error error;
        EXPECT_FALSE(reader.open(path, &error)) << path;
        EXPECT_EQ(error.file, path);
        EXPECT_FALSE(error.reason.empty()) << path;
    }
}

} // namespace
} // namespace qf::hardening
