// Runs the built quillframe-cli as a user would and checks what it writes,
// prints and returns.

#include "cli/commands.h"
#include "engine/variants.h"
#include "imaging/gif_reader.h"
#include "imaging/png_io.h"
#include "pipeline/convert.h"
#include "pipeline/snapshots.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

namespace qf {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class CliTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::WriteGif(input, {test::PatternFrame(40, 32, 0), test::PatternFrame(40, 32, 1),
                               test::PatternFrame(40, 32, 2)},
                       {10, 20, 30}, 3);
    }

    Outcome Run(const std::vector<std::string>& args)
    {
        std::string command = Quote(QF_CLI_PATH);
        for (const std::string& arg : args)
            command.append(" ").append(Quote(arg));
        const std::string out = scratch.file("stdout"), err = scratch.file("stderr");
        command.append(" </dev/null >").append(Quote(out)).append(" 2>").append(Quote(err));
        const int status = std::system(command.c_str());
        Outcome outcome;
        outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = test::ReadBytes(out);
        outcome.err = test::ReadBytes(err);
        return outcome;
    }

    test::ScratchDir dir;     // the user's files
    test::ScratchDir scratch; // captured output
    std::string input = dir.file("in.gif");
};

TEST_F(CliTest, HelpExplainsVariantsSwitchesStillsAndExitCodes)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"convert", "--help"}, {"snapshots", "--help"}}) {
        const Outcome outcome = Run(args);
        SCOPED_TRACE(args.size() == 1 ? "main help" : args[0] + " help");
        EXPECT_EQ(outcome.code, 0);
        for (const VariantInfo& variant : kVariants) {
            EXPECT_THAT(outcome.out, HasSubstr(std::string(variant.name)));
            EXPECT_THAT(outcome.out, HasSubstr(std::string(variant.description)));
        }
        for (const char* flag : {"--color-sketch", "--sharpen", "--blur", "--no-mix-color", "--no-adjust"})
            EXPECT_THAT(outcome.out, HasSubstr(flag));
        EXPECT_THAT(outcome.out, HasSubstr("Exit status"));
    }
    EXPECT_THAT(Run({"convert", "--help"}).out, HasSubstr("still GIF"));
}

TEST_F(CliTest, BadCommandLinesAreUsageErrors)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"paint", input},
                                                 {"convert", input},
                                                 {"convert", input, dir.file("o.gif"), "--variant", "17"},
                                                 {"convert", input, dir.file("o.gif"), "--variant", "-1"},
                                                 {"convert", input, dir.file("o.gif"), "--threads", "many"},
                                                 {"convert", input, dir.file("o.gif"), "--threads", "257"},
                                                 {"convert", input, dir.file("o.gif"), "--sepia"},
                                                 {"info"}}) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.code, cli::kExitUsage) << testing::PrintToString(args);
        EXPECT_THAT(outcome.err, StartsWith("error: "));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.gif")));
}

TEST_F(CliTest, BadInputAndOutputGetTheirOwnExitCodes)
{
    const std::string output = dir.file("out.gif");
    test::WriteBytes(output, "previous result");
    test::WriteBytes(dir.file("text.gif"), "GIF? no, just text");
    std::string truncated = test::ReadBytes(input);
    truncated.resize(20);
    test::WriteBytes(dir.file("cut.gif"), truncated);
    test::WriteBytes(dir.file("a-file"), "not a folder");

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string named; // the file the message names
    };
    const std::string missing = dir.file("missing.gif");
    const std::string noFolder = dir.file("no/such/folder/out.gif");
    const Case cases[] = {
        {{"convert", missing, output}, cli::kExitBadInput, missing},
        {{"convert", dir.file("text.gif"), output}, cli::kExitBadInput, dir.file("text.gif")},
        {{"convert", dir.file("cut.gif"), output}, cli::kExitBadInput, dir.file("cut.gif")},
        {{"info", dir.file("cut.gif")}, cli::kExitBadInput, dir.file("cut.gif")},
        {{"snapshots", missing, dir.file("snaps")}, cli::kExitBadInput, missing},
        {{"frames", dir.file("text.gif"), dir.file("frames")}, cli::kExitBadInput, dir.file("text.gif")},
        {{"convert", input, noFolder}, cli::kExitBadOutput, noFolder},
        {{"convert", input, output, "--png-frames", dir.file("a-file")}, cli::kExitBadOutput, dir.file("a-file")},
        {{"snapshots", input, dir.file("a-file")}, cli::kExitBadOutput, dir.file("a-file")},
        {{"frames", input, dir.file("a-file")}, cli::kExitBadOutput, dir.file("a-file")},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_THAT(outcome.err, StartsWith("error: " + c.named + ": "));
        EXPECT_EQ(test::ReadBytes(output), "previous result");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("snaps")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("frames")));
}

TEST_F(CliTest, OutputThroughALinkReplacesItsTargetAndSpecialFilesAreRefused)
{
    test::WriteBytes(dir.file("real.gif"), "previous result");
    std::filesystem::create_symlink("real.gif", dir.file("link.gif"));
    Outcome outcome = Run({"convert", input, dir.file("link.gif")});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.gif")));
    EXPECT_EQ(test::ReadGifFrames(dir.file("real.gif")).size(), 3u);

    ASSERT_EQ(mkfifo(dir.file("pipe.gif").c_str(), 0600), 0);
    outcome = Run({"convert", input, dir.file("pipe.gif")});
    EXPECT_EQ(outcome.code, cli::kExitBadOutput);
    EXPECT_THAT(outcome.err, StartsWith("error: " + dir.file("pipe.gif") + ": is a pipe, not a file"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("pipe.gif")));
}

TEST_F(CliTest, ConvertWritesTheAnimationQuietlyWhenNotOnATerminal)
{
    const std::string output = dir.file("out.gif");
    const Outcome outcome = Run({"convert", input, output, "--variant", "9", "--blur", "--no-adjust"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");

    imaging::GifReader reader;
    imaging::Error error;
    ASSERT_TRUE(reader.open(output, &error)) << error.message();
    EXPECT_EQ(reader.info().frameCount, 3);
    EXPECT_EQ(reader.info().delays, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(reader.info().loopCount, 3);

    // The switches reach the engine: the same conversion through the library.
    ConvertOptions options;
    options.variant = 9;
    options.switches.Blur = 1;
    options.switches.Adjust = 0;
    ASSERT_TRUE(ConvertAllFrames(input, dir.file("library.gif"), options, &error)) << error.message();
    EXPECT_TRUE(test::ReadBytes(output) == test::ReadBytes(dir.file("library.gif")));
}

TEST_F(CliTest, SnapshotsWriteSeventeenPicturesAndASheet)
{
    const std::string snaps = dir.file("snaps/new");
    const Outcome outcome = Run({"snapshots", input, snaps, "--color-sketch"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;

    Switches switches;
    switches.ColorSketch = 1;
    const std::vector<Picture> expected =
        BuildSnapshots(ReadFrame(test::ReadGifFrames(input)[0]), switches);
    ASSERT_EQ(expected.size(), 17u);
    for (int v = 0; v < kVariantCount; ++v) {
        char name[32];
        std::snprintf(name, sizeof name, "/variant-%02d.png", v);
        const imaging::RgbaImage png = test::ReadPngFile(snaps + name);
        EXPECT_EQ(png.pixels, test::ToRgba(expected[v]).pixels) << name;
    }
    const imaging::RgbaImage sheet = test::ReadPngFile(snaps + "/sheet.png");
    EXPECT_GT(sheet.width, 6 * 40);
    EXPECT_GT(sheet.height, 3 * 32);
}

TEST_F(CliTest, FramesAreWrittenAsTheReaderCompositesThem)
{
    const Outcome outcome = Run({"frames", input, dir.file("frames")});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const auto frames = test::ReadGifFrames(input);
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const imaging::RgbaImage png = test::ReadPngFile(dir.file("frames/frame-000" + std::to_string(i + 1) + ".png"));
        EXPECT_EQ(png.pixels, frames[i].pixels) << "frame " << i + 1;
    }
}

TEST_F(CliTest, InfoPrintsSizeFramesDelaysAndLoop)
{
    const Outcome outcome = Run({"info", input});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_THAT(outcome.out, HasSubstr("size:     40 x 32\n"));
    EXPECT_THAT(outcome.out, HasSubstr("frames:   3\n"));
    EXPECT_THAT(outcome.out, HasSubstr("delays:   10 20 30 "));
    EXPECT_THAT(outcome.out, HasSubstr("duration: 0.60 s\n"));
    EXPECT_THAT(outcome.out, HasSubstr("loop:     3 repeats\n"));
}

} // namespace
} // namespace qf
