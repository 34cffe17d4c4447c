// The timeline: which frames a conversion shows and for how long, judged by
// the frame count and the total time a viewer sees.
#include "support.h"

#include "imaging/animation_writer.h"
#include "pipeline/convert.h"
#include "pipeline/timeline.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <numeric>

namespace qf::test {
namespace {

// A clip of `seconds` at `fps` as the video reader describes it.
imaging::AnimationInfo Clip(double fps, double seconds)
{
    imaging::AnimationInfo info;
    info.frameCount = static_cast<int>(std::lround(fps * seconds));
    for (int i = 0; i <= info.frameCount; ++i)
        info.frameTimes.push_back(std::llround(i * 1e6 / fps));
    info.frameRate = fps;
    return info;
}

int Total(const std::vector<int>& delays)
{
    return std::accumulate(delays.begin(), delays.end(), 0);
}

struct PlanCase {
    const char* what;
    double fps, seconds; // the clip
    TimelineOptions options;
    int frames, total; // shown, and hundredths of a second
};

class Timeline : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Timeline, FrameCountAndTotalTime)
{
    const PlanCase& c = GetParam();
    std::vector<TimelineFrame> plan;
    imaging::Error error;
    ASSERT_TRUE(PlanTimeline("clip", Clip(c.fps, c.seconds), c.options, &plan, &error)) << error.message();
    std::vector<int> delays;
    for (const TimelineFrame& frame : plan) {
        EXPECT_GE(frame.delay, 2) << "players stretch shorter frames";
        delays.push_back(frame.delay);
    }
    EXPECT_EQ(static_cast<int>(plan.size()), c.frames);
    EXPECT_EQ(Total(delays), c.total);
}

TimelineOptions At(double fps)
{
    TimelineOptions options;
    options.fps = fps;
    return options;
}

TimelineOptions Span(double start, double end, double fps = 0)
{
    TimelineOptions options;
    options.start = start;
    options.end = end;
    if (fps > 0)
        options.fps = fps;
    return options;
}

TimelineOptions Speed(double speed)
{
    TimelineOptions options;
    options.speed = speed;
    return options;
}

TimelineOptions Bounce()
{
    TimelineOptions options;
    options.bounce = true;
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    Clips, Timeline,
    ::testing::Values(PlanCase{"30 fps kept at 30: no drift", 30, 10, At(30), 300, 1000},
                      PlanCase{"30 fps by default: 25 a second", 30, 10, {}, 250, 1000},
                      PlanCase{"15 fps kept as it is", 15, 10, {}, 150, 1000},
                      PlanCase{"24 fps", 24, 10, At(24), 240, 1000},
                      PlanCase{"60 fps at the most there is", 60, 10, At(50), 500, 1000},
                      PlanCase{"25 fps at 15", 25, 10, At(15), 150, 1000},
                      PlanCase{"a span", 30, 10, Span(2, 5.5, 30), 105, 350},
                      PlanCase{"a span in its own frames", 15, 10, Span(2.01, 3), 15, 99},
                      PlanCase{"end beyond the clip", 10, 2, Span(1, 60), 10, 100},
                      PlanCase{"twice as fast", 10, 2, Speed(2), 20, 100},
                      PlanCase{"three times as fast, rounding carried", 10, 1, Speed(3), 10, 33},
                      PlanCase{"a quarter speed", 10, 1, Speed(0.25), 10, 400},
                      PlanCase{"four times as fast at 25: too short frames left out", 25, 1, Speed(4), 12,
                               25},
                      PlanCase{"bounce: the ends once", 10, 1, Bounce(), 18, 180}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(Timeline, GifAsStoredUnlessAsked)
{
    imaging::AnimationInfo gif;
    gif.frameCount = 3;
    gif.delays = {0, 20, 30}; // players show the first for a tenth
    std::vector<TimelineFrame> plan;
    ASSERT_TRUE(PlanTimeline("in.gif", gif, {}, &plan, nullptr));
    EXPECT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].delay, 0);
    ASSERT_TRUE(PlanTimeline("in.gif", gif, Bounce(), &plan, nullptr));
    ASSERT_EQ(plan.size(), 4u);
    EXPECT_EQ(plan[0].delay + plan[1].delay + plan[2].delay + plan[3].delay, 10 + 20 + 30 + 20);
    EXPECT_EQ(plan[3].source, 1);

    imaging::Error error;
    EXPECT_FALSE(PlanTimeline("in.gif", gif, Span(0.6, 0.7), &plan, &error));
    EXPECT_EQ(error.file, "in.gif");
}

TEST(Timeline, TimesAsWritten)
{
    EXPECT_EQ(ParseSeconds("12.5"), 12.5);
    EXPECT_EQ(ParseSeconds("1:02.5"), 62.5);
    EXPECT_EQ(ParseSeconds("0:00"), 0.0);
    for (const char* bad : {"", "-1", "1:60", "1.5:00", "1:2:3", "abc", "1e3", "."})
        EXPECT_FALSE(ParseSeconds(bad)) << bad;
}

// The whole conversion of a 1 s, 10 fps WebM (each frame a different green)
// gives as many frames as it shows, each as long as planned; frames that
// come out the same are one.
TEST(Timeline, ConvertedClipShowsThePlannedFrames)
{
    struct Case {
        TimelineOptions options;
        int frames;
        std::vector<int> delays;
    };
    TimelineOptions sameFrame = At(40);
    sameFrame.end = 0.2;
    const Case cases[] = {
        {Span(0.25, 0.75), 6, {5, 10, 10, 10, 10, 5}},
        {Bounce(), 18, std::vector<int>(18, 10)},
        {sameFrame, 2, {10, 10}}, // 8 samples of 2 frames
    };
    TempDir dir;
    for (const Case& c : cases) {
        ConvertOptions options;
        options.variant = 3;
        options.threads = 2;
        options.timeline = c.options;
        imaging::Error error;
        ASSERT_TRUE(
            ConvertAllFrames(std::string(QF_CLIPS) + "/ten.webm", dir.file("out.gif"), options, &error))
            << error.message();
        imaging::AnimationInfo info;
        const auto frames = ReadAnimation(dir.file("out.gif"), &info);
        EXPECT_EQ(static_cast<int>(frames.size()), c.frames);
        EXPECT_EQ(info.delays, c.delays);
        EXPECT_EQ(info.width, 32);
        if (c.options.bounce) { // back the way it came: frame 17 is frame 1, 16 is 2
            for (int i : {1, 2})
                EXPECT_EQ(frames[i].pixels, frames[18 - i].pixels);
        }
    }
}

// An animation of flat frames, one grey level a frame, with delays.
void WriteFlatFrames(const std::string& path, imaging::OutputFormat format, const std::vector<int>& greys,
                     const std::vector<int>& delays)
{
    const auto writer = imaging::MakeAnimationWriter({format});
    imaging::Error error;
    ASSERT_TRUE(writer->open(path, 16, 8, 0, &error)) << error.message();
    for (std::size_t i = 0; i < greys.size(); ++i) {
        imaging::RgbaImage frame{16, 8, std::vector<std::uint8_t>(16 * 8 * 4, 255)};
        for (std::size_t p = 0; p < frame.pixels.size(); p += 4)
            frame.pixels[p] = frame.pixels[p + 1] = frame.pixels[p + 2] = static_cast<std::uint8_t>(greys[i]);
        ASSERT_TRUE(writer->addFrame(imaging::ImageView::of(frame), delays[i], &error)) << error.message();
    }
    ASSERT_TRUE(writer->finish(&error)) << error.message();
}

// How long a browser plays delays: under two hundredths as a tenth.
int PlayedHundredths(const std::vector<int>& delays)
{
    int total = 0;
    for (const int delay : delays)
        total += delay < 2 ? 10 : delay;
    return total;
}

// A GIF of 9 frames stored with delays of 0 (or 1), which browsers play at
// a tenth of a second each, plays as long after frames are dropped, merged,
// bounced or sped up as a browser plays the source.
TEST(Timeline, DelaysOfZeroPlayAsLongThroughEveryChange)
{
    struct Case {
        const char* what;
        int delay;
        bool pairs; // frames come in identical pairs
        imaging::OutputFormat format;
        int frameStep;
        bool merge;
        TimelineOptions timeline;
        int frames, hundredths;
    };
    TimelineOptions twice;
    twice.speed = 2;
    const Case cases[] = {
        {"every 4th frame", 0, false, imaging::OutputFormat::Gif, 4, false, {}, 3, 90},
        {"every 2nd frame of delays of 1", 1, false, imaging::OutputFormat::Gif, 2, false, {}, 5, 90},
        {"every 4th frame as WebP", 0, false, imaging::OutputFormat::Webp, 4, false, {}, 3, 90},
        {"repeats merged", 0, true, imaging::OutputFormat::Gif, 1, true, {}, 5, 90},
        {"bounced", 0, false, imaging::OutputFormat::Gif, 1, false, Bounce(), 16, 160},
        {"bounced, every 2nd frame", 0, false, imaging::OutputFormat::Gif, 2, false, Bounce(), 8, 160},
        {"twice as fast", 0, false, imaging::OutputFormat::Gif, 1, false, twice, 9, 45},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> greys;
        greys.reserve(9);
        for (int i = 0; i < 9; ++i)
            greys.push_back(c.pairs ? 40 + 20 * (i / 2) : 40 + 20 * i);
        WriteFlatFrames(dir.file("in.gif"), imaging::OutputFormat::Gif, greys, std::vector<int>(9, c.delay));
        ConvertOptions options;
        options.variant = 3;
        options.threads = 2;
        options.frameStep = c.frameStep;
        options.mergeRepeats = c.merge;
        options.timeline = c.timeline;
        options.output.format = c.format;
        const std::string output = dir.file(c.format == imaging::OutputFormat::Gif ? "out.gif" : "out.webp");
        imaging::Error error;
        ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), output, options, &error)) << error.message();
        imaging::AnimationInfo info;
        EXPECT_EQ(static_cast<int>(ReadAnimation(output, &info).size()), c.frames);
        EXPECT_EQ(PlayedHundredths(info.delays), c.hundredths);
    }
}

// A 700 s pause is longer than a GIF frame holds (655.35 s): the frame is
// shown again to make up the time. A WebP holds it in one frame.
TEST(Timeline, ALongPauseIsSplitOverRepeatsOfItsFrame)
{
    TempDir dir;
    WriteFlatFrames(dir.file("in.webp"), imaging::OutputFormat::Webp, {40, 120, 200}, {10, 70000, 10});
    for (const char* name : {"out.gif", "out.webp"}) {
        SCOPED_TRACE(name);
        ConvertOptions options;
        options.variant = 3;
        options.output.format =
            std::string(name) == "out.gif" ? imaging::OutputFormat::Gif : imaging::OutputFormat::Webp;
        imaging::Error error;
        ASSERT_TRUE(ConvertAllFrames(dir.file("in.webp"), dir.file(name), options, &error))
            << error.message();
        imaging::AnimationInfo info;
        const auto frames = ReadAnimation(dir.file(name), &info);
        EXPECT_EQ(PlayedHundredths(info.delays), 70020);
        if (options.output.format == imaging::OutputFormat::Gif) {
            ASSERT_EQ(frames.size(), 4u);
            EXPECT_EQ(info.delays, (std::vector<int>{10, 35000, 35000, 10}));
            EXPECT_TRUE(frames[1].pixels == frames[2].pixels);
            EXPECT_FALSE(frames[0].pixels == frames[1].pixels);
        } else {
            EXPECT_EQ(info.delays, (std::vector<int>{10, 70000, 10}));
        }
    }
}

} // namespace
} // namespace qf::test
