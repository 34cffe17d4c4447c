// The values a conversion takes, as every front end hands them to the
// library: numbers read as written (decimal only), sizes shown in one unit,
// and values out of range refused by the library itself, however they came.
#include "support.h"

#include "pipeline/convert.h"
#include "pipeline/options.h"
#include "pipeline/size_budget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

namespace qf::test {
namespace {

TEST(Options, NumbersAreReadAsWrittenAndSizesShownInOneUnit)
{
    const struct {
        const char* text;
        std::optional<double> number;
        std::optional<long long> bytes;
    } reads[] = {
        {"12", 12, 12},
        {"0.5", 0.5, std::nullopt},
        {"256K", std::nullopt, 262144},
        {"1.5MB", std::nullopt, 1572864},
        {"0x10", std::nullopt, std::nullopt},
        {"0x100", std::nullopt, std::nullopt},
        {"1e3", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"10Q", std::nullopt, std::nullopt},
        {"-5", -5, std::nullopt},
    };
    for (const auto& r : reads) {
        EXPECT_EQ(ParseDecimal(r.text), r.number) << r.text;
        EXPECT_EQ(ParseBytes(r.text), r.bytes) << r.text;
    }
    // 1 kB = 1024 bytes, as the window shows sizes.
    const std::pair<long long, const char*> shown[] = {{1, "1 byte"},       {900, "900 bytes"},
                                                       {262144, "256 kB"},  {1536, "1.5 kB"},
                                                       {10485760, "10 MB"}, {1572864, "1.50 MB"}};
    for (const auto& [bytes, text] : shown)
        EXPECT_EQ(DescribeBytes(bytes), text);
}

// What a front end may pass: a NaN rate once sampled forever, a NaN speed
// gave a one-frame still. The library refuses each, within moments.
TEST(Options, TheLibraryRefusesValuesOutOfRange)
{
    imaging::AnimationInfo clip;
    clip.frameCount = 20;
    for (int i = 0; i <= clip.frameCount; ++i)
        clip.frameTimes.push_back(i * 100000); // 2 s at 10 frames a second
    clip.frameRate = 10;
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        std::function<void(TimelineOptions&)> set;
        bool refused;
    } timelines[] = {
        {"the whole clip at 5 a second", [](TimelineOptions& t) { t.fps = 5; }, false},
        {"from 0.5 s for 1 s, twice as fast",
         [](TimelineOptions& t) { t.start = 0.5, t.duration = 1, t.speed = 2; }, false},
        {"NaN rate", [&](TimelineOptions& t) { t.fps = nan; }, true},
        {"infinite rate", [&](TimelineOptions& t) { t.fps = inf; }, true},
        {"rate above 50", [](TimelineOptions& t) { t.fps = 51; }, true},
        {"NaN speed", [&](TimelineOptions& t) { t.speed = nan; }, true},
        {"speed 0", [](TimelineOptions& t) { t.speed = 0; }, true},
        {"speed above 4", [](TimelineOptions& t) { t.speed = 5; }, true},
        {"NaN start", [&](TimelineOptions& t) { t.start = nan; }, true},
        {"end before start", [](TimelineOptions& t) { t.start = 5, t.end = 2; }, true},
        {"duration 0", [](TimelineOptions& t) { t.duration = 0; }, true},
        {"end and duration", [](TimelineOptions& t) { t.end = 1, t.duration = 1; }, true},
    };
    for (const auto& t : timelines) {
        Limits limits;
        limits.timeoutSeconds = 5;
        const ChildResult result = RunInChild(
            [&] {
                TimelineOptions timeline;
                t.set(timeline);
                std::vector<TimelineFrame> frames;
                imaging::Error error;
                if (PlanTimeline("clip.mp4", clip, timeline, &frames, &error))
                    return frames.size() >= 2 ? 0 : 1;
                return error.kind == imaging::ErrorKind::InvalidArgument ? 2 : 3;
            },
            limits);
        EXPECT_TRUE(result.clean()) << t.what << ": " << result.describe();
        EXPECT_EQ(result.exitCode, t.refused ? 2 : 0) << t.what;
    }

    // The conversion's other values, refused before anything is written.
    TempDir dir;
    const std::string output = dir.file("out.gif");
    const struct {
        const char* what;
        void (*set)(ConvertOptions&);
    } conversions[] = {
        {"GIF quality 0", [](ConvertOptions& o) { o.output.quality = 0; }},
        {"quality 150", [](ConvertOptions& o) { o.output.quality = 150; }},
        {"NaN scale", [](ConvertOptions& o) { o.resize.scale = std::numeric_limits<double>::quiet_NaN(); }},
        {"scale 1000", [](ConvertOptions& o) { o.resize.scale = 1000; }},
        {"257 threads", [](ConvertOptions& o) { o.threads = 257; }},
        {"NaN speed", [](ConvertOptions& o) { o.timeline.speed = std::numeric_limits<double>::quiet_NaN(); }},
    };
    for (const auto& c : conversions) {
        ConvertOptions options;
        c.set(options);
        imaging::Error error;
        EXPECT_FALSE(ConvertAllFrames(Shapes("gif"), output, options, &error)) << c.what;
        EXPECT_EQ(error.kind, imaging::ErrorKind::InvalidArgument) << c.what << ": " << error.message();
        EXPECT_FALSE(std::filesystem::exists(output)) << c.what;
    }
    // No animation fits in one byte: refused as a mistake, not tried.
    BudgetOutcome outcome;
    imaging::Error error;
    EXPECT_FALSE(ConvertWithinBudget(Shapes("gif"), output, ConvertOptions{}, 1, &outcome, &error));
    EXPECT_EQ(error.kind, imaging::ErrorKind::InvalidArgument) << error.message();
    EXPECT_EQ(error.reason, "--max-bytes must be at least 32 bytes, not 1 byte");
}

} // namespace
} // namespace qf::test
