// The reader against small GIFs built byte by byte: compositing as browsers
// show it, the facts reported at open, and files that are damaged or odd.
#include "gif_test_support.h"

#include "imaging/gif_reader.h"

#include <gtest/gtest.h>

namespace qf::imaging::test {
namespace {

// Colours by letter: the expected pictures are written as one letter per
// pixel, row by row; '.' is transparent.
std::uint32_t Letter(char c)
{
    switch (c) {
    case 'K': return 0x000000FF;
    case 'W': return 0xFFFFFFFF;
    case 'R': return 0xFF0000FF;
    case 'B': return 0x0000FFFF;
    case 'G': return 0x00FF00FF;
    case 'Y': return 0xFFFF00FF;
    case '.': return 0x00000000;
    default: ADD_FAILURE() << "no colour for " << c; return 0;
    }
}

char LetterOf(std::uint32_t rgba)
{
    for (char c : std::string("KWRBGY.")) {
        if (Letter(c) == rgba)
            return c;
    }
    return '?';
}

std::string Picture(const RgbaImage& image)
{
    std::string s;
    for (int y = 0; y < image.height; ++y) {
        if (y > 0)
            s += '/';
        for (int x = 0; x < image.width; ++x)
            s += LetterOf(PixelAt(image, x, y));
    }
    return s;
}

const Table kGlobal = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}}; // K W R B
const Table kLocal = {{0, 255, 0}, {255, 255, 0}};                              // G Y

// Index strings: one hex digit per pixel.
std::vector<std::uint8_t> Indexes(const std::string& digits)
{
    std::vector<std::uint8_t> out;
    for (char c : digits)
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(1, c), nullptr, 16)));
    return out;
}

struct Step {
    FrameDesc frame;
    std::string pixels;
    int disposal = 0;
    int delay = 0;
    int transparent = -1;
    bool control = true;
    int minCodeSize = 2;
};

Bytes Build(int width, int height, const Table* global, const std::vector<Step>& steps)
{
    Bytes b;
    PutHeader(b);
    PutScreen(b, width, height, global);
    for (const Step& s : steps) {
        if (s.control)
            PutControl(b, s.disposal, s.delay, s.transparent);
        PutImage(b, s.frame, Indexes(s.pixels), s.minCodeSize);
    }
    PutTrailer(b);
    return b;
}

FrameDesc At(int left, int top, int width, int height, const Table* local = nullptr)
{
    return FrameDesc{left, top, width, height, local, false};
}

struct Composite {
    const char* name;
    int width, height;
    const Table* global;
    std::vector<Step> steps;
    std::vector<std::string> expected; // each frame, rows joined by '/'
};

// Test names show the case name, not its bytes.
void PrintTo(const Composite& c, std::ostream* os)
{
    *os << c.name;
}

class Compositing : public ::testing::TestWithParam<Composite> {};

TEST_P(Compositing, FramesAreComposedAsBrowsersShowThem)
{
    const Composite& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("case.gif");
    WriteBytes(path, Build(c.width, c.height, c.global, c.steps));
    const std::vector<RgbaImage> frames = DecodeAll(path);
    ASSERT_EQ(frames.size(), c.expected.size());
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(Picture(frames[i]), c.expected[i]) << "frame " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Gif, Compositing,
    ::testing::Values(
        Composite{"disposal_none_and_keep", 2, 2, &kGlobal,
                  {{At(0, 0, 2, 2), "1000", 0}, {At(1, 0, 1, 1), "2", 1}, {At(0, 1, 1, 1), "3", 0}},
                  {"WK/KK", "WR/KK", "WR/BK"}},
        Composite{"disposal_background_clears_to_transparent", 2, 2, &kGlobal,
                  {{At(0, 0, 1, 1), "1", 2}, {At(1, 0, 1, 1), "1", 2}, {At(1, 1, 1, 1), "2", 2}},
                  {"W./..", ".W/..", "../.R"}},
        Composite{"disposal_background_only_clears_its_rectangle", 2, 2, &kGlobal,
                  {{At(0, 0, 2, 2), "1111", 1}, {At(0, 0, 1, 2), "22", 2}, {At(1, 1, 1, 1), "3", 1}},
                  {"WW/WW", "RW/RW", ".W/.B"}},
        Composite{"disposal_previous_restores", 2, 2, &kGlobal,
                  {{At(0, 0, 2, 2), "0000", 0}, {At(0, 0, 1, 1), "1", 3}, {At(1, 0, 1, 1), "1", 3},
                   {At(1, 1, 1, 1), "1", 1}},
                  {"KK/KK", "WK/KK", "KW/KK", "KK/KW"}},
        Composite{"disposal_previous_on_first_frame_restores_transparency", 2, 2, &kGlobal,
                  {{At(0, 0, 2, 1), "12", 3}, {At(1, 1, 1, 1), "3", 0}},
                  {"WR/..", "../.B"}},
        Composite{"disposal_four_is_read_as_previous", 2, 1, &kGlobal,
                  {{At(0, 0, 2, 1), "00", 0}, {At(0, 0, 1, 1), "1", 4}, {At(1, 0, 1, 1), "2", 0}},
                  {"KK", "WK", "KR"}},
        Composite{"undefined_disposals_keep", 2, 1, &kGlobal,
                  {{At(0, 0, 1, 1), "1", 5}, {At(1, 0, 1, 1), "2", 7}, {At(0, 0, 1, 1), "3", 6}},
                  {"W.", "WR", "BR"}},
        Composite{"transparent_index_shows_what_is_below", 2, 2, &kGlobal,
                  {{At(0, 0, 2, 2), "1111", 1}, {At(0, 0, 2, 2), "2320", 1, 0, 2}},
                  {"WW/WW", "WB/WK"}},
        Composite{"transparent_index_outside_the_table_has_no_effect", 2, 1, &kGlobal,
                  {{At(0, 0, 2, 1), "12", 0, 0, 200}}, {"WR"}},
        Composite{"transparency_is_for_one_frame_only", 1, 1, &kGlobal,
                  {{At(0, 0, 1, 1), "1", 1}, {At(0, 0, 1, 1), "2", 1, 0, 2}, {At(0, 0, 1, 1), "2", 1}},
                  {"W", "W", "R"}},
        Composite{"local_table_replaces_the_global_one_for_its_frame", 2, 1, &kGlobal,
                  {{At(0, 0, 2, 1, &kLocal), "01"}, {At(1, 0, 1, 1), "1"}}, {"GY", "GW"}},
        Composite{"local_table_without_a_global_one", 2, 1, nullptr, {{At(0, 0, 2, 1, &kLocal), "10"}}, {"YG"}},
        Composite{"no_colour_table_at_all_draws_black", 2, 1, nullptr, {{At(0, 0, 2, 1), "03"}}, {"KK"}},
        Composite{"index_beyond_the_table_draws_nothing", 2, 2, &kLocal,
                  {{At(0, 0, 2, 2), "1111"}, {At(0, 0, 2, 2), "0320"}}, {"YY/YY", "GY/YG"}},
        Composite{"frames_outside_the_screen_are_clipped", 2, 2, &kGlobal,
                  {{At(1, 1, 2, 2), "2222"}, {At(2, 0, 1, 1), "1"}, {At(0, 5, 3, 1), "333"},
                   {At(1, 0, 3, 1), "123"}},
                  {"../.R", "../.R", "../.R", ".W/.R"}},
        Composite{"first_frame_larger_than_the_screen_is_clipped", 1, 1, &kGlobal,
                  {{At(0, 0, 3, 2), "123123"}}, {"W"}},
        Composite{"too_few_pixels_leave_the_rest_and_too_many_are_ignored", 2, 2, &kGlobal,
                  {{At(0, 0, 2, 2), "1"}, {At(0, 0, 1, 1), "2222222"}, {At(1, 1, 1, 1), "3"}},
                  {"W./..", "R./..", "R./.B"}},
        Composite{"zero_sized_screen_takes_the_first_frames_extent", 0, 0, &kGlobal,
                  {{At(1, 0, 2, 2), "1111"}, {At(0, 0, 1, 1), "2"}}, {".WW/.WW", "RWW/.WW"}},
        Composite{"minimum_code_size_above_eight", 2, 1, &kGlobal,
                  {{At(0, 0, 2, 1), "12", 0, 0, -1, true, 9}, {At(0, 0, 1, 1), "3", 0, 0, -1, true, 11}},
                  {"WR", "BR"}}),
    [](const ::testing::TestParamInfo<Composite>& info) { return std::string(info.param.name); });

TEST(GifReader, InterlacedFramesMatchTheSameFrameStoredInOrder)
{
    for (int height = 1; height <= 17; ++height) {
        std::string pixels;
        for (int y = 0; y < height; ++y)
            pixels += std::string(3, "0123"[y % 4]);
        TempDir dir;
        const std::string plain = dir.file("plain.gif");
        const std::string interlaced = dir.file("interlaced.gif");
        WriteBytes(plain, Build(3, height, &kGlobal, {{At(0, 0, 3, height), pixels}}));
        Step step{At(0, 0, 3, height), pixels};
        step.frame.interlaced = true;
        WriteBytes(interlaced, Build(3, height, &kGlobal, {step}));
        const auto a = DecodeAll(plain);
        const auto b = DecodeAll(interlaced);
        ASSERT_EQ(a.size(), 1u);
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(Picture(a[0]), Picture(b[0])) << "height " << height;
    }
}

TEST(GifReader, ReportsSizeDelaysAndLoopCountAsStored)
{
    struct LoopCase {
        const char* id; // null: no loop extension
        int count;
        int expected;
    };
    for (const LoopCase& loop : {LoopCase{nullptr, 0, -1}, LoopCase{"NETSCAPE2.0", 0, 0},
                                 LoopCase{"NETSCAPE2.0", 3, 3}, LoopCase{"NETSCAPE2.0", 65535, 65535},
                                 LoopCase{"ANIMEXTS1.0", 7, 7}}) {
        Bytes b;
        PutHeader(b);
        PutScreen(b, 3, 2, &kGlobal);
        if (loop.id)
            PutLoop(b, loop.count, loop.id);
        PutControl(b, 0, 0);
        PutImage(b, At(0, 0, 1, 1), Indexes("1"));
        PutImage(b, At(0, 0, 1, 1), Indexes("2")); // no graphic control: delay 0
        PutControl(b, 1, 7);
        PutImage(b, At(0, 0, 1, 1), Indexes("3"));
        PutControl(b, 1, 65535);
        PutImage(b, At(0, 0, 1, 1), Indexes("1"));
        PutTrailer(b);
        TempDir dir;
        WriteBytes(dir.file("a.gif"), b);
        GifReader reader;
        Error error;
        ASSERT_TRUE(reader.open(dir.file("a.gif"), &error)) << error.message();
        EXPECT_EQ(reader.info().width, 3);
        EXPECT_EQ(reader.info().height, 2);
        EXPECT_EQ(reader.info().frameCount, 4);
        EXPECT_EQ(reader.info().delays, (std::vector<int>{0, 0, 7, 65535}));
        EXPECT_EQ(reader.info().loopCount, loop.expected) << (loop.id ? loop.id : "none");
    }
}

TEST(GifReader, ReadFrameReachesAnyFrameInAnyOrder)
{
    std::vector<Step> steps = {{At(0, 0, 3, 3), "123123123", 1}, {At(1, 1, 1, 1), "0", 3},
                               {At(0, 0, 2, 1), "33", 2},        {At(2, 2, 1, 1), "0", 1},
                               {At(0, 0, 3, 1), "000", 3},       {At(1, 0, 1, 3), "111", 0}};
    TempDir dir;
    const std::string path = dir.file("a.gif");
    WriteBytes(path, Build(3, 3, &kGlobal, steps));
    const auto sequential = DecodeAll(path);
    ASSERT_EQ(sequential.size(), steps.size());

    GifReader reader;
    Error error;
    ASSERT_TRUE(reader.open(path, &error)) << error.message();
    for (int n : {4, 1, 6, 2, 2, 5, 3}) {
        RgbaImage frame;
        ASSERT_TRUE(reader.readFrame(n, frame, &error)) << error.message();
        EXPECT_EQ(Picture(frame), Picture(sequential[static_cast<std::size_t>(n - 1)])) << "frame " << n;
    }
    RgbaImage frame;
    EXPECT_FALSE(reader.readFrame(7, frame, &error));
    EXPECT_EQ(error.kind, ErrorKind::InvalidArgument);
    // readNext goes on after the last frame read.
    ASSERT_TRUE(reader.readFrame(5, frame, &error));
    ASSERT_TRUE(reader.readNext(frame, &error));
    EXPECT_EQ(Picture(frame), Picture(sequential[5]));
    EXPECT_FALSE(reader.readNext(frame, &error));
    EXPECT_FALSE(error) << "the end of the frames is no error";
}

// ---------------------------------------------------------------------------
// Damaged and unusual files

Bytes Animation(int frames, bool trailer = true)
{
    Bytes b;
    PutHeader(b);
    PutScreen(b, 4, 2, &kGlobal);
    PutLoop(b, 0);
    for (int i = 0; i < frames; ++i) {
        PutControl(b, 1, 10 + i);
        PutImage(b, At(0, 0, 4, 2), Indexes(std::string(8, "0123"[i % 4])));
    }
    if (trailer)
        PutTrailer(b);
    return b;
}

std::size_t FrameStart(const Bytes& b, int frame)
{
    // Offsets of the graphic control blocks (0x21 0xF9) mark frame starts.
    int seen = 0;
    for (std::size_t i = 0; i + 1 < b.size(); ++i) {
        if (b[i] == 0x21 && b[i + 1] == 0xF9 && seen++ == frame)
            return i;
    }
    return b.size();
}

Bytes Cut(Bytes b, std::size_t size)
{
    b.resize(std::min(size, b.size()));
    return b;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes HeaderAndScreen(int width, int height)
{
    Bytes b;
    PutHeader(b);
    PutScreen(b, width, height, &kGlobal);
    return b;
}

struct Broken {
    const char* name;
    Bytes bytes;
    ErrorKind error;  // None: opens
    int frames = 0;   // when it opens
};

// Test names show the case name, not its bytes.
void PrintTo(const Broken& c, std::ostream* os)
{
    *os << c.name;
}

class BrokenFiles : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenFiles, AreRefusedWithAReasonOrKeepTheFramesThatDecode)
{
    const Broken& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("broken.gif");
    WriteBytes(path, c.bytes);
    GifReader reader;
    Error error;
    const bool opened = reader.open(path, &error);
    if (c.error != ErrorKind::None) {
        EXPECT_FALSE(opened);
        EXPECT_EQ(error.kind, c.error) << error.message();
        EXPECT_EQ(error.file, path);
        EXPECT_FALSE(error.reason.empty());
        EXPECT_NE(error.message().find(path), std::string::npos);
        return;
    }
    ASSERT_TRUE(opened) << error.message();
    EXPECT_EQ(reader.info().frameCount, c.frames);
    EXPECT_EQ(static_cast<int>(reader.info().delays.size()), c.frames);
    RgbaImage frame;
    int decoded = 0;
    while (reader.readNext(frame, &error))
        ++decoded;
    EXPECT_FALSE(error) << error.message();
    EXPECT_EQ(decoded, c.frames);
}

Bytes TwoFramesThenDamagedData()
{
    Bytes b = HeaderAndScreen(2, 1);
    PutImage(b, At(0, 0, 2, 1), Indexes("11"));
    PutDescriptor(b, At(0, 0, 2, 1));
    PutCodes(b, 2, {{4, 3}, {2, 3}, {7, 3}, {1, 3}, {5, 3}}); // 7 names no entry
    PutImage(b, At(0, 0, 1, 1), Indexes("3"));
    PutTrailer(b);
    return b;
}

// 12 leaves no room for the clear code: no decoder can read the data.
Bytes CodeSizeTwelve()
{
    Bytes b = HeaderAndScreen(2, 1);
    PutDescriptor(b, At(0, 0, 2, 1));
    PutCodes(b, 12, {{1, 12}, {2, 12}});
    PutImage(b, At(1, 0, 1, 1), Indexes("3"));
    PutTrailer(b);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Gif, BrokenFiles,
    ::testing::Values(
        Broken{"empty_file", {}, ErrorKind::NotGif},
        Broken{"not_a_gif", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}, ErrorKind::NotGif},
        Broken{"short_signature", {'G', 'I', 'F', '8'}, ErrorKind::NotGif},
        Broken{"unknown_version", {'G', 'I', 'F', '9', '0', 'a', 1, 0, 1, 0, 0, 0, 0}, ErrorKind::NotGif},
        Broken{"signature_only", {'G', 'I', 'F', '8', '9', 'a'}, ErrorKind::Corrupt},
        Broken{"screen_descriptor_cut", {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2}, ErrorKind::Corrupt},
        Broken{"global_table_cut", Cut(HeaderAndScreen(4, 2), 20), ErrorKind::Corrupt},
        Broken{"header_without_frames_or_trailer", HeaderAndScreen(4, 2), ErrorKind::Corrupt},
        Broken{"header_and_trailer_only", Concat(HeaderAndScreen(4, 2), {0x3B}), ErrorKind::NoImage},
        Broken{"zero_sized_screen_without_frames", Concat(HeaderAndScreen(0, 0), {0x3B}), ErrorKind::NoImage},
        Broken{"screen_over_the_megapixel_limit", Concat(HeaderAndScreen(10001, 10000), {0x3B}),
               ErrorKind::TooLarge},
        Broken{"cut_in_the_first_frame_data", Cut(Animation(3), FrameStart(Animation(3), 1) - 3),
               ErrorKind::Corrupt},
        Broken{"cut_in_the_first_descriptor", Cut(Animation(3), FrameStart(Animation(3), 0) + 12),
               ErrorKind::Corrupt},
        Broken{"cut_in_the_second_frame_data", Cut(Animation(3), FrameStart(Animation(3), 2) - 3),
               ErrorKind::None, 1},
        Broken{"cut_after_a_graphic_control", Cut(Animation(3), FrameStart(Animation(3), 2) + 8),
               ErrorKind::None, 2},
        Broken{"missing_trailer", Animation(3, false), ErrorKind::None, 3},
        Broken{"garbage_after_the_trailer", Concat(Animation(2), Bytes(300, 0xA5)), ErrorKind::None, 2},
        Broken{"garbage_instead_of_the_trailer", Concat(Animation(2, false), {0x99, 0x00, 0x2C}),
               ErrorKind::None, 2},
        Broken{"damaged_compressed_data_keeps_the_frame", TwoFramesThenDamagedData(), ErrorKind::None, 3},
        Broken{"minimum_code_size_twelve_draws_nothing", CodeSizeTwelve(), ErrorKind::None, 2}),
    [](const ::testing::TestParamInfo<Broken>& info) { return std::string(info.param.name); });

TEST(GifReader, DamagedDataKeepsThePixelsDecodedBeforeTheDamage)
{
    TempDir dir;
    WriteBytes(dir.file("a.gif"), TwoFramesThenDamagedData());
    const auto frames = DecodeAll(dir.file("a.gif"));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(Picture(frames[1]), "RW");
    EXPECT_EQ(Picture(frames[2]), "BW");
}

TEST(GifReader, MissingFileAndFolderAreUnreadable)
{
    TempDir dir;
    GifReader reader;
    Error error;
    EXPECT_FALSE(reader.open(dir.file("none.gif"), &error));
    EXPECT_EQ(error.kind, ErrorKind::Unreadable);
    EXPECT_EQ(error.file, dir.file("none.gif"));
    EXPECT_FALSE(reader.open(dir.path().string(), &error));
    EXPECT_EQ(error.kind, ErrorKind::Unreadable);
    RgbaImage frame;
    EXPECT_FALSE(reader.readNext(frame, &error));
    EXPECT_TRUE(error);
}

} // namespace
} // namespace qf::imaging::test
