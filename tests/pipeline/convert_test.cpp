// Frame conversion: every frame through the effect chain in order, numbered
// from 1, resized frames each showing their own picture, threads changing
// nothing, cancel and a changing input losing nothing, and the snapshots.
#include "support.h"

#include "engine/variants.h"
#include "imaging/gif/gif_writer.h"
#include "pipeline/batch.h"
#include "pipeline/conversion.h"
#include "pipeline/convert.h"
#include "pipeline/pencil_texture.h"
#include "pipeline/pixel_bridge.h"
#include "pipeline/preview.h"
#include "pipeline/snapshots.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

namespace qf::test {
namespace {

using imaging::Error;
using imaging::RgbaImage;

// The engine's picture of a source frame, as straight opaque RGBA.
std::vector<std::uint8_t> Expected(const RgbaImage& source, int variant, int frameNumber)
{
    EngineState state;
    UseDefaultPencilTexture(state);
    Picture picture;
    RenderFrame(state, ReadFrame(source), variant, frameNumber, Switches{}, picture);
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < picture.height(); ++y)
        for (const std::uint8_t* p = picture.scanLine(y); p < picture.scanLine(y) + 4 * picture.width();
             p += 4)
            rgba.insert(rgba.end(), {p[2], p[1], p[0], 255});
    return rgba;
}

// A frame read for the engine: opaque red stays red, a clear pixel is white
// paper, a half-clear red one is red laid over the paper (pink), wherever
// they fall among long runs of opaque pixels.
TEST(ReadFrame, LaysClearPixelsOverWhitePaper)
{
    RgbaImage frame{300, 2, {}};
    for (int i = 0; i < 600; ++i)
        frame.pixels.insert(frame.pixels.end(), {255, 0, 0, 255});
    frame.pixels[4 * 10 + 3] = 0;    // (10, 0) clear
    frame.pixels[4 * 599 + 3] = 128; // (299, 1) half clear
    const Picture picture = ReadFrame(frame);
    const auto at = [&](int x, int y) {
        const std::uint8_t* p = picture.scanLine(y) + 4 * x;
        return std::vector<int>{p[2], p[1], p[0]}; // red, green, blue
    };
    EXPECT_EQ(at(0, 0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(at(10, 0), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(at(298, 1), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(at(299, 1), (std::vector<int>{255, 127, 127}));
}

// A frame read straight onto the engine's planes: the bottom row first,
// blue, green, red and an opaque pad byte, clear pixels on white paper as
// ReadFrame lays them, planes used before for a larger frame shrunk to it.
TEST(FrameToPlanes, BottomRowFirstOverWhitePaper)
{
    RgbaImage frame{300, 2, {}};
    for (int i = 0; i < 600; ++i) // the top row red, the bottom row blue
        frame.pixels.insert(frame.pixels.end(), {static_cast<std::uint8_t>(i < 300 ? 255 : 0), 0,
                                                 static_cast<std::uint8_t>(i < 300 ? 0 : 255), 255});
    frame.pixels[4 * 299 + 3] = 128; // (299, 0) half clear red
    frame.pixels[4 * 310 + 3] = 0;   // (10, 1) clear
    ColourPlane planes(4, 400, 3);
    FrameToPlanes(frame, planes);
    ASSERT_EQ(planes.width(), 300);
    ASSERT_EQ(planes.height(), 2);
    struct Case {
        int x, planeRow;
        std::vector<int> bgrx;
    };
    const Case cases[] = {
        {0, 0, {255, 0, 0, 255}},      // the picture's bottom row, blue
        {10, 0, {255, 255, 255, 255}}, // clear: white paper
        {0, 1, {0, 0, 255, 255}},      // the top row, red
        {299, 1, {127, 127, 255, 255}} // half clear red: pink
    };
    for (const Case& c : cases) {
        const std::vector<int> bgrx{planes(0, c.x, c.planeRow), planes(1, c.x, c.planeRow),
                                    planes(2, c.x, c.planeRow), planes(3, c.x, c.planeRow)};
        EXPECT_EQ(bgrx, c.bgrx) << "(" << c.x << ", " << c.planeRow << ")";
    }
}

// The grey pencil variant's paper shifts with the frame number: every frame
// of the animation and of the frame pictures is the engine's picture of the
// matching source frame, with delays and loop count kept.
TEST(Conversion, EveryFrameIsTheEnginesPictureNumberedFromOne)
{
    TempDir dir;
    const std::string input = dir.file("in.gif"), output = dir.file("out.gif");
    WriteBytes(input, SmallAnimation(24, 20, 6, 3));
    std::filesystem::create_directory(dir.file("frames"));
    ConvertOptions options;
    options.variant = 2;
    options.threads = 1;
    Error error;
    ASSERT_TRUE(imaging::OpenOutputFolder(dir.file("frames"), &options.pngFrames.emplace(), &error));
    ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();
    imaging::AnimationInfo in, out;
    const auto source = ReadAnimation(input, &in);
    const auto result = ReadAnimation(output, &out);
    ASSERT_EQ(result.size(), source.size());
    EXPECT_EQ(out.delays, in.delays);
    EXPECT_EQ(out.loopCount, 3);
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto expected = Expected(source[i], 2, static_cast<int>(i) + 1);
        EXPECT_TRUE(result[i].pixels == expected) << "frame " << i + 1;
        EXPECT_TRUE(ReadPng(dir.file("frames/frame-000" + std::to_string(i + 1) + ".png")).pixels == expected)
            << i + 1;
    }
}

// A clip is weighed by what is done with it: still-screen-1080p.mp4 (5 s of
// a nearly still 1920 x 1080 screen, 150 frames, 14,703 bytes) is decoded
// at its size and rendered at the size asked for; a GIF enlarged beyond
// what its bytes can fill is refused before a picture is allocated. A GIF
// of a still 1920 x 1080 screen, 600 frames of a pixel each in 14 kB (20 s
// recorded at 30 fps), is converted at its size and bounced, not at twice
// its size.
TEST(Conversion, WorkIsWeighedAtTheSizeRendered)
{
    TempDir dir;
    WriteBytes(dir.file("small.gif"), SmallAnimation(64, 48, 4));
    Bytes still;
    const Palette palette = {{0, 0, 0}, {255, 255, 255}};
    PutHeader(still);
    PutScreen(still, 1920, 1080, &palette);
    PutLoop(still, 0);
    for (int f = 0; f < 600; ++f) {
        PutControl(still, 1, 3);
        PutFrame(still, {f % 1920, 0, 1, 1}, {1});
    }
    PutTrailer(still);
    WriteBytes(dir.file("still.gif"), still);
    const struct {
        std::string file;
        imaging::ResizeRequest resize;
        std::optional<double> duration;
        bool accepted;
        bool bounce = false;
    } rows[] = {
        {dir.file("still.gif"), {}, std::nullopt, true},
        {dir.file("still.gif"), {}, std::nullopt, true, true},
        {dir.file("still.gif"), {0, 640, 640}, std::nullopt, true},
        {dir.file("still.gif"), {2.0, 0, 0}, std::nullopt, false},
        {std::string(QF_CLIPS) + "/still-screen-1080p.mp4", {}, std::nullopt, true},
        {std::string(QF_CLIPS) + "/still-screen-1080p.mp4", {}, 1.0, true},
        {std::string(QF_CLIPS) + "/still-screen-1080p.mp4", {0.25, 0, 0}, std::nullopt, true},
        {std::string(QF_CLIPS) + "/still-screen-1080p.mp4", {1.0, 0, 0}, std::nullopt, true},
        {std::string(QF_CLIPS) + "/still-screen-1080p.mp4", {2.0, 0, 0}, std::nullopt, false},
        {dir.file("small.gif"), {10.0, 0, 0}, std::nullopt, true},
        {dir.file("small.gif"), {100.0, 0, 0}, std::nullopt, false},
    };
    for (const auto& row : rows) {
        Error error;
        const auto reader = imaging::OpenAnimation(row.file, &error);
        ASSERT_TRUE(reader) << error.message();
        TimelineOptions timeline;
        timeline.duration = row.duration;
        timeline.bounce = row.bounce;
        std::vector<TimelineFrame> plan;
        ASSERT_TRUE(PlanTimeline(row.file, reader->info(), timeline, &plan, &error)) << error.message();
        imaging::Size size;
        const bool accepted = RenderSize(row.file, reader->info(), static_cast<int>(plan.size()),
                                         ResizeFor(reader->info(), row.resize), &size, &error);
        EXPECT_EQ(accepted, row.accepted) << row.file << " x" << row.resize.scale << ": " << error.message();
        EXPECT_EQ(error.kind, row.accepted ? imaging::ErrorKind::None : imaging::ErrorKind::TooLarge);
    }
}

// A clip whose top left corner alone changes at frame 4: with a still
// grain the pencil paper of the rest stays the same in all six frames, on
// three workers each rendering frames out of order, while the corner takes
// the grain of the moving paper at frame 4; with the moving grain all of the
// paper changes at frame 3.
// Resized frames too: the grain holds where the picture read before
// showed the same, whichever frame resized that picture.
TEST(Conversion, StillGrainHoldsWhereTheClipIsStill)
{
    TempDir dir;
    const Palette greys = {{0, 0, 0}, {255, 255, 255}, {90, 90, 90}, {170, 170, 170}};
    Bytes gif;
    PutHeader(gif);
    PutScreen(gif, 24, 20, &greys);
    for (int f = 1; f <= 6; ++f) {
        Bytes indexes;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 24; ++x)
                indexes.push_back(
                    static_cast<std::uint8_t>((x / 3 + y / 2 + (f >= 4 && x < 6 && y < 6)) % 4));
        PutControl(gif, 1, 10);
        PutFrame(gif, {0, 0, 24, 20}, indexes);
    }
    PutTrailer(gif);
    WriteBytes(dir.file("in.gif"), gif);
    for (const int scale : {1, 2}) {
        // Rows first to last of a frame picture (at the size of the source),
        // columns 0 to width - 1.
        auto area = [&](const std::string& frames, int frame, int first, int last, int width = 24) {
            const auto pixels = ReadPng(frames + "/frame-000" + std::to_string(frame) + ".png").pixels;
            const auto row = static_cast<std::ptrdiff_t>(24 * 4 * scale);
            std::vector<std::uint8_t> out;
            for (int y = first * scale; y < (last + 1) * scale; ++y)
                out.insert(out.end(), pixels.begin() + row * y, pixels.begin() + row * y + 4 * width * scale);
            return out;
        };
        const std::string at = std::to_string(scale);
        for (const bool still : {true, false}) {
            const std::string frames = dir.file((still ? "still" : "moving") + at);
            std::filesystem::create_directory(frames);
            ConvertOptions options;
            options.variant = 2;
            options.switches.StillGrain = still;
            options.threads = 3;
            options.resize.scale = scale;
            Error error;
            ASSERT_TRUE(imaging::OpenOutputFolder(frames, &options.pngFrames.emplace(), &error));
            ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("out.gif"), options, &error))
                << error.message();
            for (int frame = 2; frame <= 6; ++frame)
                EXPECT_EQ(area(frames, frame, 10, 19) == area(frames, 1, 10, 19), still || frame % 6 < 3)
                    << "frame " << frame << ", still " << still << ", scale " << scale;
        }
        EXPECT_TRUE(area(dir.file("still" + at), 4, 0, 5, 6) == area(dir.file("moving" + at), 4, 0, 5, 6))
            << "scale " << scale;
    }
}

// Frames that show the same picture are resized once; each frame still
// shows its own: a picture dark on the left comes out dark on the left,
// one dark on the right dark on the right, converted, bounced back and
// previewed.
TEST(Conversion, ResizedFramesShowTheirOwnPicture)
{
    TempDir dir;
    const Palette blackWhite = {{0, 0, 0}, {255, 255, 255}};
    const std::string shown = "LLRLRR"; // the dark half of each frame
    Bytes gif;
    PutHeader(gif);
    PutScreen(gif, 32, 16, &blackWhite);
    for (const char side : shown) {
        Bytes indexes;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                indexes.push_back(static_cast<std::uint8_t>((x < 16) == (side == 'R')));
        PutControl(gif, 1, 10);
        PutFrame(gif, {0, 0, 32, 16}, indexes);
    }
    PutTrailer(gif);
    WriteBytes(dir.file("in.gif"), gif);
    // The darker half of a frame of width x height whose pixel x, y has the
    // red value red(x, y).
    auto darker = [](int width, int height, const auto& red) {
        EXPECT_EQ(width, 16);
        int left = 0, right = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                (x < width / 2 ? left : right) += red(x, y);
        return left < right ? 'L' : 'R';
    };
    const int poster = 9; // two levels a channel: black stays black
    for (const bool bounce : {false, true}) {
        ConvertOptions options;
        options.variant = poster;
        options.threads = 3;
        options.resize.scale = 0.5;
        options.timeline.bounce = bounce;
        Error error;
        ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("out.gif"), options, &error))
            << error.message();
        std::string expected = shown;
        if (bounce) // back the way it came, the ends once
            expected += std::string(shown.rbegin() + 1, shown.rend() - 1);
        std::string seen;
        for (const RgbaImage& frame : ReadAnimation(dir.file("out.gif")))
            seen += darker(frame.width, frame.height, [&](int x, int y) {
                return frame.pixels[static_cast<std::size_t>((y * frame.width + x) * 4)];
            });
        EXPECT_EQ(seen, expected) << (bounce ? "bounced" : "forward");
    }
    PreviewOptions preview;
    preview.variant = poster;
    preview.maxWidth = preview.maxHeight = 16;
    std::string seen;
    Error error;
    ASSERT_TRUE(RenderPreview(
        dir.file("in.gif"), preview,
        [&](int, const Picture&, const Picture& rendered, int) {
            seen += darker(rendered.width(), rendered.height(),
                           [&](int x, int y) { return rendered.scanLine(y)[4 * x + 2]; });
        },
        &error))
        << error.message();
    EXPECT_EQ(seen, shown) << "previewed";
}

TEST(Conversion, ThreadsChangeNothing)
{
    TempDir dir;
    WriteBytes(dir.file("in.gif"), SmallAnimation(40, 32, 12));
    for (const auto& [variant, quality] : {std::pair{6, 100}, {12, 100}, {6, 30}, {2, 90}}) {
        Bytes single;
        for (const int threads : {1, 2, 3}) {
            ConvertOptions options;
            options.variant = variant;
            options.switches.Sharpen = 1;
            options.threads = threads;
            options.output.quality = quality;
            Error error;
            ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("out.gif"), options, &error))
                << error.message();
            if (threads == 1)
                single = ReadBytes(dir.file("out.gif"));
            EXPECT_TRUE(ReadBytes(dir.file("out.gif")) == single)
                << "variant " << variant << ", quality " << quality << ", " << threads;
        }
    }
}

// A fault of the program (an exception no one expected) is reported as one:
// it neither blames the files nor leaves a partial output.
TEST(Conversion, AnUnexpectedExceptionIsNoFaultOfTheFiles)
{
    struct FaultyWriter : imaging::GifAnimationWriter {
        bool compress(imaging::OutputFrame&, Error*) override
        {
            throw std::logic_error("table index out of range");
        }
    };
    TempDir dir;
    const std::string input = dir.file("in.gif"), output = dir.file("out.gif");
    WriteBytes(input, SmallAnimation(64, 48, 6));
    WriteBytes(output, {'o', 'l', 'd'});
    Conversion conversion(ConvertOptions{}, std::make_unique<FaultyWriter>());
    Error error;
    EXPECT_FALSE(conversion.open(input, output, &error) && conversion.run(&error));
    EXPECT_EQ(error.kind, imaging::ErrorKind::Internal) << error.message();
    EXPECT_NE(error.reason.find("table index out of range"), std::string::npos);
    EXPECT_EQ(ReadBytes(output), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.gif", "out.gif"}));
}

// A cancel at any point, or an input deleted, cut short or replaced by a
// folder mid-run: the output is complete or as it was, never partial, and a
// cut input is never a silent short result.
TEST(Conversion, CancelOrAChangingInputLeavesNoPartialOutput)
{
    TempDir dir;
    const std::string input = dir.file("in.gif"), output = dir.file("out.gif");
    const Bytes original = SmallAnimation(200, 150, 16);
    const Bytes previous = {'o', 'l', 'd'};
    namespace fs = std::filesystem;
    const std::function<void()> remove = [&] { fs::remove(input); },
                                cut = [&] { fs::resize_file(input, original.size() / 3); },
                                folder = [&] { fs::remove(input), fs::create_directory(input); };
    struct Change {
        std::string name;
        int at;                       // progress call
        std::function<void()> change; // none: cancel
    };
    for (const auto& [name, at, change] : std::vector<Change>{{"cancel at once", 0, {}},
                                                              {"cancel", 1, {}},
                                                              {"cancel later", 5, {}},
                                                              {"deleted", 1, remove},
                                                              {"cut", 1, cut},
                                                              {"folder", 1, folder}}) {
        fs::remove_all(input);
        WriteBytes(input, original);
        WriteBytes(output, previous);
        ConvertOptions options;
        options.threads = 2;
        int calls = 0;
        options.progress = [&, at = at, change = change](double) {
            return calls++ != at || (change && (change(), true)); // a cancel, or a change and go on
        };
        Error error;
        const bool converted = ConvertAllFrames(input, output, options, &error);
        fs::remove_all(input);
        EXPECT_EQ(dir.list(), std::vector<std::string>{"out.gif"}) << name;
        EXPECT_TRUE(change || (!converted && error.kind == imaging::ErrorKind::Cancelled)) << name;
        EXPECT_TRUE(converted ? name != "cut" && ReadAnimation(output).size() == 16
                              : ReadBytes(output) == previous)
            << name << ": " << error.message();
    }
}

// The progress of a run counts the frames each input shows, one input as
// several: its last report of a job says all of that job's frames are done,
// and the run's count is the inputs' frames together.
TEST(ConvertBatch, ProgressCountsEveryFrameOfEachInput)
{
    TempDir dir;
    WriteBytes(dir.file("eight.gif"), SmallAnimation(24, 20, 8));
    WriteBytes(dir.file("five.gif"), SmallAnimation(24, 20, 5));
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, int>> inputs; // and their frames
        long long total;
    };
    const Case cases[] = {
        {"one input", {{"eight.gif", 8}}, 8},
        {"two inputs", {{"eight.gif", 8}, {"five.gif", 5}}, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BatchJob> jobs;
        for (const auto& [name, frames] : c.inputs) {
            BatchJob& job = jobs.emplace_back();
            job.input = dir.file(name);
            job.output = dir.file(std::string(c.name) + " " + name);
        }
        std::mutex reports;
        std::map<std::size_t, BatchProgress> last;
        BatchOptions options;
        options.progress = [&](const BatchProgress& at) {
            const std::lock_guard lock(reports);
            last[at.job] = at;
            return true;
        };
        const std::vector<JobOutcome> outcomes = ConvertBatch(jobs, options);
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            ASSERT_FALSE(outcomes[i].error) << outcomes[i].error.message();
            const int frames = c.inputs[i].second;
            EXPECT_EQ(last[i].jobFrame, frames) << c.inputs[i].first;
            EXPECT_EQ(last[i].jobFrames, frames) << c.inputs[i].first;
            EXPECT_EQ(last[i].totalFrames, c.total) << c.inputs[i].first;
        }
    }
}

// Saving as WebP reports 0, then i / n * 100 after frame i; a stop at any
// report, the last one too, leaves the destination as it was.
TEST(RewriteAnimation, ReportsEachFrameAndStopsWhenAsked)
{
    TempDir dir;
    const std::string input = dir.file("in.gif"), output = dir.file("out.webp");
    WriteBytes(input, SmallAnimation(32, 24, 4));
    const std::vector<double> all = {0, 25, 50, 75, 100};
    for (const int stopAt : {-1, 0, 2, 4}) {
        WriteBytes(output, {'o', 'l', 'd'});
        std::vector<double> reports;
        Error error;
        const bool written = RewriteAnimation(
            input, output, {imaging::OutputFormat::Webp},
            [&](double percent) {
                return reports.push_back(percent), static_cast<int>(reports.size()) - 1 != stopAt;
            },
            &error);
        EXPECT_EQ(reports, stopAt < 0 ? all : std::vector<double>(all.begin(), all.begin() + stopAt + 1));
        EXPECT_EQ(written, stopAt < 0) << error.message();
        EXPECT_EQ(ReadBytes(output) == (Bytes{'o', 'l', 'd'}), stopAt >= 0) << stopAt;
        EXPECT_TRUE(written || error.kind == imaging::ErrorKind::Cancelled) << stopAt;
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.gif", "out.webp"}));
    }
}

// Built sharing the stages the variants have in common, yet each equal to
// its own run; stopped when progress says so.
TEST(Snapshots, AreTheSeventeenVariantsOfFrameOne)
{
    TempDir dir;
    WriteBytes(dir.file("in.gif"), SmallAnimation(40, 32, 1));
    const Picture frame1 = ReadFrame(ReadAnimation(dir.file("in.gif"))[0]);
    for (const Switches& switches : {Switches{}, Switches{1, 1, 0, 0, 1}, Switches{2, 2, 2, 2, 2}}) {
        const auto snapshots = BuildSnapshots(frame1, switches);
        EngineState state;
        UseDefaultPencilTexture(state);
        Picture rendered;
        for (int v = 0; v < kVariantCount; ++v) {
            RenderFrame(state, frame1, v, 0, switches, rendered);
            EXPECT_EQ(snapshots.at(v), rendered) << "variant " << v;
        }
    }
    int calls = 0;
    EXPECT_TRUE(BuildSnapshots(frame1, Switches{}, [&](double) { return ++calls < 5; }).empty());
}

} // namespace
} // namespace qf::test
