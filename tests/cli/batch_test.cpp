// The command line's batch work run as a user runs it: variants by name,
// many inputs, resizing, transparency, animated WebP and pipes.
#include "support.h"

#include "imaging/animation_reader.h"
#include "imaging/gif/gif_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

namespace qf::test {
namespace {

namespace fs = std::filesystem;

ChildResult Cli(std::vector<std::string> args)
{
    args.insert(args.begin(), QF_CLI);
    return RunProgram(args);
}

// Every file and folder under dir, as relative paths, sorted.
std::vector<std::string> Tree(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        names.push_back(fs::relative(entry.path(), dir.path()).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Two frames of 48 x 40 whose left columns are transparent.
void WriteSticker(const std::string& path, int transparentColumns = 16)
{
    imaging::GifAnimationWriter writer;
    imaging::Error error;
    ASSERT_TRUE(writer.open(path, 48, 40, 0, &error));
    for (int f = 0; f < 2; ++f) {
        imaging::RgbaImage frame{48, 40, std::vector<std::uint8_t>(48 * 40 * 4)};
        for (int i = 0; i < 48 * 40; ++i) {
            const bool ink = (i % 48 / 6 + i / 48 / 5 + f) % 3 == 0;
            const std::uint8_t rgba[] = {std::uint8_t(ink ? 30 : 200), std::uint8_t(i % 48 * 5),
                                         std::uint8_t(ink ? 40 : 90),
                                         std::uint8_t(i % 48 < transparentColumns ? 0 : 255)};
            std::copy(rgba, rgba + 4, frame.pixels.begin() + i * 4);
        }
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(frame), 7, &error));
    }
    ASSERT_TRUE(writer.finish(&error)) << error.message();
}

// Every new flag and its mistakes: the exit code, the message, the files
// written (none at all for a mistake) and what they hold.
TEST(Batch, FlagsAndTheirMistakes)
{
    TempDir dir;
    const std::string a = dir.file("a.gif"), b = dir.file("b.gif"), bad = dir.file("bad.gif");
    const std::string out = dir.file("out"), note = dir.file("note");
    WriteBytes(a, SmallAnimation(48, 40, 3));
    WriteBytes(b, SmallAnimation(30, 60, 2, 3));
    WriteBytes(bad, {'G', 'I', 'F', '8'});
    WriteBytes(note, {'n'});
    fs::create_directory(dir.file("sub"));
    WriteBytes(dir.file("sub/a.gif"), SmallAnimation(8, 8, 2));
    WriteBytes(dir.file("still.webp"), {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'});
    const std::string dots = dir.file("...gif"); // named after it, a folder would be ".."
    WriteBytes(dots, SmallAnimation(30, 60, 2, 3));
    for (const char* variant : {"2", "6"})
        ASSERT_EQ(
            Cli({"convert", a, dir.file(std::string("v") + variant + ".gif"), "--variant", variant}).exitCode,
            0);
    fs::create_directory(out);
    const std::vector<std::string> before = Tree(dir);

    struct Row {
        std::vector<std::string> args;
        int code;
        std::string said;                 // in the output
        std::vector<std::string> written; // new files
        std::function<void()> check = [] {};
    };
    const std::vector<Row> rows = {
        {{a, out + "/p.gif", "--variant", "pencil-on-paper"},
         0,
         "",
         {"out/p.gif"},
         [&] {
             EXPECT_EQ(ReadBytes(out + "/p.gif"), ReadBytes(dir.file("v2.gif")));
             imaging::AnimationInfo info;
             ReadAnimation(out + "/p.gif", &info);
             EXPECT_EQ(info.loopCount, 0) << "a source that loops forever gives a result that does";
         }},
        // The files share the threads and give what one file alone gives.
        {{a, bad, b, "--out-dir", out, "--suffix", "-x", "--variant", "6"},
         3,
         "error: " + bad + ": ",
         {"out/a-x.gif", "out/b-x.gif"},
         [&] { EXPECT_EQ(ReadBytes(out + "/a-x.gif"), ReadBytes(dir.file("v6.gif"))); }},
        {{dir.file("still.webp"), out + "/x.gif"}, 3, "still.webp: ", {}},
        {{a, out + "/x.gif", "--variant", "pencil"}, 2, "pencil-on-paper", {}},
        {{dots, a, "--out-dir", out, "--png-frames", out + "/pf/inner"},
         0,
         "converted 2 of 2",
         {"out/...gif", "out/a.gif", "out/pf", "out/pf/inner", "out/pf/inner/_..",
          "out/pf/inner/_../frame-0001.png", "out/pf/inner/_../frame-0002.png", "out/pf/inner/a",
          "out/pf/inner/a/frame-0001.png", "out/pf/inner/a/frame-0002.png", "out/pf/inner/a/frame-0003.png"}},
        {{a, out + "/x.gif", "--scale", ""}, 2, "--scale", {}},
        {{a, out + "/x.gif", "--scale", "0x10"}, 2, "--scale", {}},
        {{a, out + "/x.gif", "--max-size", "0x5"}, 2, "--max-size", {}},
        {{a, out + "/x.gif", "--max-size", "640"}, 2, "--max-size", {}},
        {{a, out + "/x.png"}, 2, ".png", {}},
        {{a, out + "/x.gif", "--format", "webp"}, 2, "--format", {}},
        {{a, out + "/x.gif", "--quality", "101"}, 2, "--quality", {}},
        {{a, out + "/x.webm", "--codec", "h265"}, 2, "--codec must be vp9 or av1, not 'h265'", {}},
        {{a, out + "/x.mp4", "--codec", "av1"},
         2,
         "--codec is for WebM output only, but " + out + "/x.mp4",
         {}},
        {{a, out + "/x.gif", "--codec", "vp9"}, 2, "--codec is for WebM output only", {}},
        {{a, out + "/x.webm", "--codec", "av1"},
         1,
         "x.webm: cannot be written as AV1: its frames are 48 x 40",
         {}},
        {{a, out + "/x.gif", "--max-bytes", "10Q"}, 2, "--max-bytes", {}},
        // Numbers are decimal and within the ranges --help gives; NaN ones
        // once hung or gave a still.
        {{a, out + "/x.gif", "--fps", "nan"}, 2, "--fps must be a decimal number, not 'nan'", {}},
        {{a, out + "/x.gif", "--speed", "nan"}, 2, "--speed must be a decimal number", {}},
        {{a, out + "/x.gif", "--fps", "inf"}, 2, "--fps", {}},
        {{a, out + "/x.gif", "--quality", "0x10"}, 2, "--quality must be a decimal number", {}},
        {{a, out + "/x.gif", "--quality", "0"}, 2, "--quality must be from 1 to 100, not 0", {}},
        {{a, out + "/x.gif", "--max-bytes", "0x100"}, 2, "--max-bytes must be a size", {}},
        {{a, out + "/x.gif", "--max-bytes", "1"}, 2, "--max-bytes must be at least 32 bytes, not 1 byte", {}},
        {{a, out + "/x.gif", "--start", "5", "--end", "2"},
         2,
         "the end, 2 s, is not after the start, 5 s",
         {}},
        {{a, out + "/x.gif", "--duration", "0"}, 2, "--duration must be at least 0.01 seconds, not 0", {}},
        {{a, b, out + "/x.gif"}, 2, "--out-dir", {}},
        {{a, b, "--out-dir", note}, 2, note, {}},
        {{a, dir.file("sub/a.gif"), "--out-dir", out}, 2, "both", {}},
        {{a, "--out-dir", dir.path().string()}, 2, "its own result", {}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), "convert");
        SCOPED_TRACE(testing::PrintToString(args));
        const ChildResult result = Cli(args);
        ASSERT_TRUE(result.clean()) << result.describe();
        EXPECT_EQ(result.exitCode, row.code) << result.output;
        EXPECT_NE(result.output.find(row.said), std::string::npos) << result.output;
        std::vector<std::string> expected = before;
        expected.insert(expected.end(), row.written.begin(), row.written.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Tree(dir), expected);
        row.check();
        fs::remove_all(out);
        fs::create_directory(out);
    }
}

// Lossless WebP gives back the rendered frames with their delays and loop
// count, and reads back as input, by frames and by convert.
TEST(Batch, WebpRoundTrip)
{
    TempDir dir;
    WriteBytes(dir.file("in.gif"), SmallAnimation(48, 40, 3, 2));
    const ChildResult convert = Cli({"convert", dir.file("in.gif"), dir.file("out.webp"), "--variant", "6",
                                     "--png-frames", dir.file("rendered")});
    ASSERT_EQ(convert.exitCode, 0) << convert.output;
    imaging::AnimationInfo info;
    const std::vector<imaging::RgbaImage> frames = ReadAnimation(dir.file("out.webp"), &info);
    EXPECT_EQ(info.delays, (std::vector<int>{10, 11, 12}));
    EXPECT_EQ(info.loopCount, 2);
    ASSERT_EQ(frames.size(), 3u);
    ASSERT_EQ(Cli({"frames", dir.file("out.webp"), dir.file("decoded")}).exitCode, 0);
    for (int n = 1; n <= 3; ++n) {
        const std::string name = "/frame-000" + std::to_string(n) + ".png";
        EXPECT_EQ(frames[n - 1].pixels, ReadPng(dir.file("rendered") + name).pixels) << n;
        EXPECT_EQ(ReadPng(dir.file("decoded") + name).pixels, frames[n - 1].pixels) << n;
    }
    ASSERT_EQ(Cli({"convert", dir.file("in.gif"), dir.file("lossy.webp"), "--quality", "30"}).exitCode, 0);
    EXPECT_EQ(ReadAnimation(dir.file("lossy.webp")).size(), 3u);
    // Cut short by a byte, it keeps its whole frames, as a GIF does.
    Bytes cut = ReadBytes(dir.file("out.webp"));
    cut.pop_back();
    WriteBytes(dir.file("cut.webp"), cut);
    const ChildResult damaged = Cli({"frames", dir.file("cut.webp"), dir.file("cut")});
    EXPECT_EQ(damaged.exitCode, 0) << damaged.output;
    EXPECT_NE(damaged.output.find("is damaged after frame 2 (the file is cut short)"), std::string::npos);
    EXPECT_EQ(ReadPng(dir.file("cut/frame-0002.png")).pixels, frames[1].pixels);
    // Identical frames keep their own delays, in an animation.
    imaging::GifAnimationWriter same;
    imaging::Error error;
    ASSERT_TRUE(same.open(dir.file("same.gif"), 48, 40, 0, &error));
    for (const int delay : {50, 70, 30})
        ASSERT_TRUE(same.addFrame(imaging::ImageView::of(frames[0]), delay, &error));
    ASSERT_TRUE(same.finish(&error));
    for (const char* quality : {"-1", "40"}) {
        std::vector<std::string> args = {"convert", dir.file("same.gif"), dir.file("same.webp")};
        if (quality[0] != '-')
            args.insert(args.end(), {"--quality", quality});
        ASSERT_EQ(Cli(args).exitCode, 0);
        imaging::AnimationInfo kept;
        const std::vector<imaging::RgbaImage> shown = ReadAnimation(dir.file("same.webp"), &kept);
        EXPECT_EQ(kept.delays, (std::vector<int>{50, 70, 30})) << quality;
        EXPECT_EQ(kept.loopCount, 0);
        ASSERT_EQ(shown.size(), 3u);
        EXPECT_TRUE(shown[1].pixels == shown[0].pixels && shown[2].pixels == shown[0].pixels);
    }
    // Converted as input, its timing goes on to the result.
    ASSERT_EQ(Cli({"convert", dir.file("out.webp"), dir.file("again.gif")}).exitCode, 0);
    imaging::AnimationInfo again;
    EXPECT_EQ(ReadAnimation(dir.file("again.gif"), &again).size(), 3u);
    EXPECT_EQ(again.delays, info.delays);
    EXPECT_EQ(again.loopCount, 2);
}

// A refused pipe writes nothing and names standard input.
TEST(Batch, RefusedPipe)
{
    TempDir dir;

    WriteBytes(dir.file("bad.gif"), {'G', 'I', 'F'});
    const std::string command = "cat '" + dir.file("bad.gif") + "' | '" + QF_CLI + "' convert - - > '"
                                + dir.file("nothing.gif") + "'";
    const ChildResult refused = RunProgram({"/bin/sh", "-c", command});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.output.find("error: standard input: "), std::string::npos) << refused.output;
    EXPECT_TRUE(ReadBytes(dir.file("nothing.gif")).empty());
}

// Every variant by its name gives its snapshot; the contact sheet shows each
// snapshot enlarged by a whole number, six to a row, and the source frame
// last; --help lists every name and every switch, says that a --no- flag
// turns its switch off, and fits 80 columns.
TEST(Batch, VariantNamesSnapshotsAndTheSheet)
{
    const std::vector<std::string> names = {"line-sketch",
                                            "stucki-dots",
                                            "pencil-on-paper",
                                            "vivid-colour",
                                            "vivid-colour-with-dots",
                                            "colour-sketch",
                                            "colour-sketch-with-dots",
                                            "sepia-tint",
                                            "sepia-tint-with-dots",
                                            "poster",
                                            "poster-with-dots",
                                            "high-contrast",
                                            "high-contrast-with-dots",
                                            "eight-greys",
                                            "eight-greys-with-dots",
                                            "grey-sketch",
                                            "grey-sketch-with-dots"};
    TempDir dir;
    WriteSticker(dir.file("in.gif"), 0);
    ChildResult result = Cli({"snapshots", dir.file("in.gif"), dir.file("snaps")});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const imaging::RgbaImage sheet = ReadPng(dir.file("snaps/sheet.png"));
    // Whether the picture, enlarged four times, sits in the sheet at x, y.
    const auto shownAt = [&](const imaging::RgbaImage& picture, int x, int y) {
        const int w = picture.width * 4;
        for (int row = 0; row < picture.height * 4; ++row)
            for (int i = 0; i < w; ++i) {
                const std::uint8_t* p = &picture.pixels[(row / 4 * picture.width + i / 4) * 4];
                if (x + w > sheet.width || y + row >= sheet.height
                    || !std::equal(p, p + 4, &sheet.pixels[((y + row) * sheet.width + x + i) * 4]))
                    return false;
            }
        return true;
    };
    const auto find = [&](const imaging::RgbaImage& picture) {
        for (int y = 0; y < sheet.height; ++y)
            for (int x = 0; x < sheet.width; ++x)
                if (shownAt(picture, x, y))
                    return std::pair{x, y};
        return std::pair{-1, -1};
    };
    std::vector<imaging::RgbaImage> snapshots;
    const std::string help = Cli({"--help"}).output;
    for (int v = 0; v < 17; ++v) {
        SCOPED_TRACE(names[v]);
        const std::string number = std::to_string(v), out = dir.file(number);
        result =
            Cli({"convert", dir.file("in.gif"), out + ".gif", "--variant", names[v], "--png-frames", out});
        ASSERT_EQ(result.exitCode, 0) << result.output;
        const std::string snapshotName = "snaps/variant-" + std::string(v < 10 ? "0" : "") + number + ".png";
        const imaging::RgbaImage snapshot = ReadPng(dir.file(snapshotName));
        EXPECT_EQ(ReadPng(out + "/frame-0001.png").pixels, snapshot.pixels);
        for (const imaging::RgbaImage& other : snapshots)
            ASSERT_NE(other.pixels, snapshot.pixels)
                << "two variants look alike: names could be swapped unseen";
        snapshots.push_back(snapshot);
        EXPECT_NE(help.find((v < 10 ? "   " : "  ") + number + "  " + names[v] + " "), std::string::npos);
    }
    snapshots.push_back(ReadAnimation(dir.file("in.gif"))[0]);
    const auto [left, top] = find(snapshots[0]);
    const int across = find(snapshots[1]).first - left, down = find(snapshots[6]).second - top;
    ASSERT_GT(across, 192);
    ASSERT_GT(down, 160);
    for (int cell = 0; cell < 18; ++cell)
        EXPECT_TRUE(shownAt(snapshots[cell], left + cell % 6 * across, top + cell / 6 * down))
            << "cell " << cell;
    for (const char* flag : {"--color-sketch", "--sharpen", "--no-mix-color", "--no-adjust", "--blur"})
        EXPECT_NE(help.find(std::string("\n  ") + flag + " "), std::string::npos) << flag;
    EXPECT_NE(help.find("--no-mix-color  Turn \"Mix similar color\" off: Draw the lines over"),
              std::string::npos);
    EXPECT_NE(help.find("--no-adjust     Turn \"Adjust sketch depth\" off: Keep lines"), std::string::npos);
    std::istringstream lines(help + Cli({"convert", "--help"}).output + Cli({"snapshots", "--help"}).output);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
}

} // namespace
} // namespace qf::test
