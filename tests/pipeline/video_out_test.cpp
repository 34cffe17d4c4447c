// Clips written as clips, checked as a player reads them through FFmpeg's
// libraries. onset.mp4 (48 x 32, 10 frames a second, 3 s) is black and
// silent for its first second, then white with a 440 Hz tone: wherever a
// part of it goes, the picture must turn light when the tone starts.
#include "support.h"

#include "imaging/animation_reader.h"
#include "pipeline/convert.h"
#include "pipeline/size_budget.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

namespace qf::test {
namespace {

// What a player finds in a clip. Times in seconds.
struct Played {
    std::string video, sound; // codec names; "" when there is no such stream
    int width = 0, height = 0;
    std::vector<double> starts; // of the frames, in order
    double end = 0;             // of the last frame
    double soundLength = 0;
    double soundOnset = -1;   // the first sample louder than a tenth
    double pictureOnset = -1; // the first frame lighter than mid-grey
};

Played Play(const std::string& path)
{
    Played played;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0
        || avformat_find_stream_info(format, nullptr) < 0)
        return played;
    AVCodecContext* decoders[8] = {};
    for (unsigned i = 0; i < format->nb_streams && i < 8; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(p->codec_id);
        decoders[i] = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoders[i], p);
        decoders[i]->pkt_timebase = format->streams[i]->time_base;
        avcodec_open2(decoders[i], codec, nullptr);
        (p->codec_type == AVMEDIA_TYPE_VIDEO ? played.video : played.sound) = avcodec_get_name(p->codec_id);
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            played.width = p->width;
            played.height = p->height;
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double lastDuration = 0;
    const auto take = [&](int index) {
        AVCodecContext* decoder = decoders[index];
        const double tb = av_q2d(format->streams[index]->time_base);
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            const double at = static_cast<double>(frame->best_effort_timestamp) * tb;
            if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
                played.starts.push_back(at);
                lastDuration = static_cast<double>(frame->pkt_duration) * tb;
                double sum = 0;
                for (int y = 0; y < frame->height; ++y)
                    for (int x = 0; x < frame->width; ++x)
                        sum += frame->data[0][y * frame->linesize[0] + x];
                if (played.pictureOnset < 0 && sum / (frame->width * frame->height) > 128)
                    played.pictureOnset = at;
            } else {
                for (int s = 0; s < frame->nb_samples && played.soundOnset < 0; ++s) {
                    const float sample =
                        frame->format == AV_SAMPLE_FMT_FLTP
                            ? reinterpret_cast<const float*>(frame->data[0])[s]
                            : reinterpret_cast<const std::int16_t*>(frame->data[0])[s] / 32768.0f;
                    if (std::fabs(sample) > 0.1f)
                        played.soundOnset = played.soundLength + s / static_cast<double>(frame->sample_rate);
                }
                played.soundLength += frame->nb_samples / static_cast<double>(frame->sample_rate);
            }
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index < 8 && decoders[packet->stream_index]) {
            avcodec_send_packet(decoders[packet->stream_index], packet);
            take(packet->stream_index);
        }
        av_packet_unref(packet);
    }
    for (unsigned i = 0; i < format->nb_streams && i < 8; ++i) {
        avcodec_send_packet(decoders[i], nullptr);
        take(static_cast<int>(i));
        avcodec_free_context(&decoders[i]);
    }
    if (played.starts.size() > 1 && lastDuration <= 0)
        lastDuration = played.starts.back() - played.starts[played.starts.size() - 2];
    played.end = played.starts.empty() ? 0 : played.starts.back() + lastDuration;
    // An MP4 states how long its pictures last; a WebM leaves it to them.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && stream->duration > 0)
            played.end =
                static_cast<double>(stream->start_time + stream->duration) * av_q2d(stream->time_base);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return played;
}

std::string Onset()
{
    return std::string(QF_CLIPS) + "/onset.mp4";
}

struct ClipCase {
    const char* name;
    imaging::OutputFormat format;
    TimelineOptions timeline;
    int frameStep;
    bool sound;                // asked for
    const char *video, *audio; // codecs found; "" none
    int frames;
    double frameLength; // every frame but the last, seconds
    double length;
    double pictureOnset, soundOnset; // -1: no sound
    imaging::WebmCodec codec = imaging::WebmCodec::Vp9;
    double scale = 1; // AV1 takes frames of 64 x 64 and more
};

class ClipOut : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipOut, PlaysTheSamePartInStep)
{
    const ClipCase& c = GetParam();
    TempDir dir;
    const std::string out = dir.file(c.format == imaging::OutputFormat::Mp4 ? "out.mp4" : "out.webm");
    ConvertOptions options;
    options.variant = 13; // eight greys: black stays dark, white turns light
    options.output.format = c.format;
    options.timeline = c.timeline;
    options.frameStep = c.frameStep;
    options.sound = c.sound;
    options.output.webmCodec = c.codec;
    options.resize.scale = c.scale;
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(Onset(), out, options, &error)) << error.message();
    const Played p = Play(out);
    EXPECT_EQ(p.video, c.video);
    EXPECT_EQ(p.sound, c.audio);
    EXPECT_EQ(p.width, 48 * c.scale);
    EXPECT_EQ(p.height, 32 * c.scale);
    ASSERT_EQ(static_cast<int>(p.starts.size()), c.frames);
    for (std::size_t i = 1; i + 1 < p.starts.size(); ++i)
        EXPECT_NEAR(p.starts[i] - p.starts[i - 1], c.frameLength, 0.002) << "frame " << i;
    EXPECT_NEAR(p.end - p.starts.front(), c.length, 0.002);
    EXPECT_NEAR(p.pictureOnset - p.starts.front(), c.pictureOnset, 0.002);
    if (*c.audio) {
        // As long as the pictures, and the tone starts when the light does,
        // to within the 40 ms viewers accept sound ahead of the picture.
        EXPECT_NEAR(p.soundLength, c.length, c.frameLength);
        EXPECT_NEAR(p.soundOnset, c.soundOnset, 0.04);
    }
}

using F = imaging::OutputFormat;
INSTANTIATE_TEST_SUITE_P(
    Onset, ClipOut,
    ::testing::Values(
        ClipCase{"Mp4Whole", F::Mp4, {}, 1, true, "h264", "aac", 30, 0.1, 3.0, 1.0, 1.0},
        // From 0.5 s at twice the speed: the tone at (1 - 0.5) / 2 s.
        ClipCase{"WebmPartFaster",
                 F::Webm,
                 {0.5, {}, {}, {}, 2.0},
                 1,
                 true,
                 "vp9",
                 "opus",
                 25,
                 0.05,
                 1.25,
                 0.25,
                 0.25},
        // Half speed: the tone is as long, its pitch the same.
        ClipCase{"Mp4Slower", F::Mp4, {{}, 1.5, {}, {}, 0.5}, 1, true, "h264", "aac", 15, 0.2, 3.0, 2.0, 2.0},
        // Every third frame kept: each lasts three, the tone stays at 1 s
        // while the light waits for the first kept frame after it.
        ClipCase{"Mp4FramesDropped", F::Mp4, {}, 3, true, "h264", "aac", 10, 0.3, 3.0, 1.2, 1.0},
        ClipCase{"WebmAv1Whole",
                 F::Webm,
                 {},
                 1,
                 true,
                 "av1",
                 "opus",
                 30,
                 0.1,
                 3.0,
                 1.0,
                 1.0,
                 imaging::WebmCodec::Av1,
                 2},
        ClipCase{"Mp4NoAudio", F::Mp4, {}, 1, false, "h264", "", 30, 0.1, 3.0, 1.0, -1},
        // Forward and back: no sound could match the way back.
        ClipCase{
            "WebmBounce", F::Webm, {{}, {}, {}, {}, 1.0, true}, 1, true, "vp9", "", 58, 0.1, 5.8, 1.0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// A GIF in 256 greys of width x height frames with these delays, each
// drawn by draw(frame, picture).
void WriteGreyGif(const std::string& path, int width, int height, const std::vector<int>& delays,
                  const std::function<void(int, Bytes&)>& draw)
{
    Palette greys(256);
    for (int i = 0; i < 256; ++i)
        greys[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i)};
    Bytes gif, picture(static_cast<std::size_t>(width * height));
    PutHeader(gif);
    PutScreen(gif, width, height, &greys);
    for (std::size_t frame = 0; frame < delays.size(); ++frame) {
        draw(static_cast<int>(frame), picture);
        PutControl(gif, 1, delays[frame]);
        PutFrame(gif, {0, 0, width, height}, picture, 8);
    }
    PutTrailer(gif);
    WriteBytes(path, gif);
}

// Fills a frame with white where white, else with black.
void BlackOrWhite(Bytes& picture, bool white)
{
    std::fill(picture.begin(), picture.end(), white ? 255 : 0);
}

// A GIF has no sound; delays of 0 and 1 hundredth play as 10, and odd
// sides become even by one repeated column and row.
TEST(ClipOut, GifTimesAndEvenSides)
{
    TempDir dir;
    WriteGreyGif(dir.file("in.gif"), 17, 11, {0, 1, 25}, [](int i, Bytes& p) { BlackOrWhite(p, i == 1); });
    ConvertOptions options;
    options.output.format = imaging::OutputFormat::Mp4;
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("out.mp4"), options, &error))
        << error.message();
    const Played p = Play(dir.file("out.mp4"));
    EXPECT_EQ(p.sound, "");
    EXPECT_EQ(p.width, 18);
    EXPECT_EQ(p.height, 12);
    ASSERT_EQ(p.starts.size(), 3u);
    EXPECT_NEAR(p.starts[1] - p.starts[0], 0.1, 0.002);
    EXPECT_NEAR(p.starts[2] - p.starts[0], 0.2, 0.002);
    EXPECT_NEAR(p.end - p.starts[0], 0.45, 0.002);
}

// A long last frame (a pause before the loop starts again) is stored as the
// stream's length, which players keep to; read back, the clip lasts as long
// and the pause stays on its last frame.
TEST(ClipOut, LongLastFrameReadsBack)
{
    TempDir dir;
    const std::vector<int> delays = {10, 10, 6000};
    WriteGreyGif(dir.file("in.gif"), 16, 16, delays, [](int i, Bytes& p) { BlackOrWhite(p, i % 2 == 1); });
    for (const auto& [name, format] : {std::pair{"out.mp4", imaging::OutputFormat::Mp4},
                                       std::pair{"out.webm", imaging::OutputFormat::Webm}}) {
        ConvertOptions options;
        options.output.format = format;
        imaging::Error error;
        ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file(name), options, &error)) << error.message();
        const auto reader = imaging::OpenAnimation(dir.file(name), &error);
        ASSERT_TRUE(reader) << name << ": " << error.message();
        EXPECT_EQ(reader->info().delays, delays) << name;
    }
}

// Within a budget a clip is never over it, in at most two encodes for
// H.264 (two passes) and for AV1 (placed on its rate factor by parts), with
// its sound; one too small for its sound and container is refused with
// nothing left.
TEST(ClipOut, WithinABudgetOrNothing)
{
    struct Case {
        const char* file;
        imaging::OutputFormat format;
        imaging::WebmCodec codec;
        double scale; // AV1 takes frames of 64 x 64 and more
        const char *video, *audio;
        int mostEncodes;
    };
    for (const Case& c : {Case{"mp4", F::Mp4, imaging::WebmCodec::Vp9, 1, "h264", "aac", 2},
                          Case{"webm", F::Webm, imaging::WebmCodec::Av1, 2, "av1", "opus", 2}}) {
        SCOPED_TRACE(c.video);
        TempDir dir;
        ConvertOptions options;
        options.output.format = c.format;
        options.output.webmCodec = c.codec;
        options.resize.scale = c.scale;
        const std::string plain = std::string("plain.") + c.file, fit = std::string("fit.") + c.file;
        const std::string plainPath = dir.file(plain), fitPath = dir.file(fit);
        imaging::Error error;
        ASSERT_TRUE(ConvertAllFrames(Onset(), plainPath, options, &error)) << error.message();
        const long long budget = static_cast<long long>(std::filesystem::file_size(plainPath)) * 7 / 10;
        BudgetOutcome outcome;
        ASSERT_TRUE(ConvertWithinBudget(Onset(), fitPath, options, budget, &outcome, &error))
            << error.message();
        EXPECT_LE(static_cast<long long>(std::filesystem::file_size(fitPath)), budget);
        EXPECT_LE(outcome.fullEncodes, c.mostEncodes);
        EXPECT_EQ(Play(fitPath).video, c.video);
        EXPECT_EQ(Play(fitPath).sound, c.audio);
        EXPECT_FALSE(ConvertWithinBudget(Onset(), dir.file(std::string("none.") + c.file), options, 2048,
                                         &outcome, &error));
        EXPECT_EQ(error.kind, imaging::ErrorKind::TooLarge);
        EXPECT_EQ(dir.list(), (std::vector<std::string>{fit, plain}));
    }
}

// A 96 x 64 GIF in 256 greys of frames 4 hundredths long, each drawn by
// draw(frame, picture).
void WriteGreyGif(const std::string& path, int frames, const std::function<void(int, Bytes&)>& draw)
{
    WriteGreyGif(path, 96, 64, std::vector<int>(static_cast<std::size_t>(frames), 4), draw);
}

ConvertOptions Av1Options()
{
    ConvertOptions options;
    options.output.format = imaging::OutputFormat::Webm;
    options.output.webmCodec = imaging::WebmCodec::Av1;
    return options;
}

// Grain alone, new every frame, the hardest for a budget: its size shrinks
// far more slowly with AV1's rate factor than a film's, and unevenly. In
// two encodes it lands within 75-100% of half the plain size, never over.
TEST(ClipOut, Av1GrainWithinABudget)
{
    TempDir dir;
    std::uint32_t seed = 1;
    WriteGreyGif(dir.file("in.gif"), 24, [&](int, Bytes& picture) {
        for (auto& g : picture)
            g = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    });
    const ConvertOptions options = Av1Options();
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("plain.webm"), options, &error))
        << error.message();
    const auto budget = static_cast<long long>(std::filesystem::file_size(dir.file("plain.webm"))) / 2;
    BudgetOutcome outcome;
    ASSERT_TRUE(
        ConvertWithinBudget(dir.file("in.gif"), dir.file("fit.webm"), options, budget, &outcome, &error))
        << error.message();
    const auto bytes = static_cast<long long>(std::filesystem::file_size(dir.file("fit.webm")));
    EXPECT_LE(bytes, budget);
    EXPECT_GE(bytes, budget * 75 / 100);
    EXPECT_LE(outcome.fullEncodes, 2);
    EXPECT_EQ(Play(dir.file("fit.webm")).video, "av1");
}

// A detailed still picture under a small moving square, 8 s: at quality 1
// its two key pictures (one each 161 frames) come to most of the clip, and
// the estimate from one-second parts must count both, not the first alone.
TEST(ClipOut, Av1EstimateCountsEveryKeyPicture)
{
    TempDir dir;
    Bytes still(96 * 64);
    std::uint32_t seed = 1;
    for (auto& g : still)
        g = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 25);
    WriteGreyGif(dir.file("in.gif"), 200, [&](int frame, Bytes& picture) {
        picture = still;
        for (int y = 28; y < 36; ++y)
            std::fill_n(picture.begin() + y * 96 + frame / 4, 8, 255);
    });
    ConvertOptions options = Av1Options();
    options.output.quality = 1;
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("out.webm"), options, &error))
        << error.message();
    long long estimated = 0;
    ASSERT_TRUE(EstimateClip(dir.file("in.gif"), options, &estimated, &error)) << error.message();
    const auto bytes = static_cast<double>(std::filesystem::file_size(dir.file("out.webm")));
    EXPECT_NEAR(static_cast<double>(estimated) / bytes, 1.0, 0.1) << estimated << " for " << bytes;
}

// An AV1 conversion stopped at any point, before its first picture too,
// ends at once, says so, and leaves the old file as it was. (The AV1
// encoder, closed before its first picture, waits forever unless it is
// given one; a watchdog ends the run rather than leave it hanging.)
TEST(ClipOut, Av1StoppedAtAnyPointEnds)
{
    TempDir dir;
    WriteGreyGif(dir.file("in.gif"), 3,
                 [](int f, Bytes& picture) { std::fill(picture.begin(), picture.end(), f * 80); });
    // How often a whole conversion asks, then a stop at every one of those.
    std::atomic<int> questions = 0;
    ConvertOptions options = Av1Options();
    options.cancelled = [&] { return ++questions < 0; };
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(dir.file("in.gif"), dir.file("whole.webm"), options, &error))
        << error.message();
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) {
            std::fputs("Av1StoppedAtAnyPointEnds: a stopped conversion did not end within 60 s\n", stderr);
            std::abort();
        }
    });
    for (int stopAt = 0; stopAt < questions; ++stopAt) {
        WriteBytes(dir.file("out.webm"), {'o', 'l', 'd'});
        std::atomic<int> asked = 0;
        options.cancelled = [&] { return asked++ == stopAt; };
        EXPECT_FALSE(ConvertAllFrames(dir.file("in.gif"), dir.file("out.webm"), options, &error)) << stopAt;
        EXPECT_EQ(error.kind, imaging::ErrorKind::Cancelled) << stopAt << ": " << error.message();
        EXPECT_EQ(ReadBytes(dir.file("out.webm")), (Bytes{'o', 'l', 'd'})) << stopAt;
    }
    done = true;
    watchdog.join();
}

} // namespace
} // namespace qf::test
