// The command line on broken input and broken destinations: every command
// ends with an exit code and a message, never with a signal, a sanitizer
// report or a half-written output.
#include "child_process.h"
#include "gif_cases.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <unistd.h>

namespace qf::hardening {
namespace {

using gifbytes::Expect;
using gifbytes::GifCase;

const std::vector<std::uint8_t> kPrevious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

// The command line's exit codes.
constexpr int kUsage = 2;
constexpr int kBadInput = 3;
constexpr int kBadOutput = 4;
constexpr int kInterrupted = 5;

ChildResult Cli(std::vector<std::string> args, Limits limits = {})
{
    args.insert(args.begin(), QF_CLI);
    // Claimed sizes must not become allocations: outside AddressSanitizer,
    // which reserves terabytes of address space, cap it at 2 GiB.
    if (limits.addressSpaceBytes < 0 && !BuiltWithAddressSanitizer()) {
        limits.addressSpaceBytes = 2ll << 30;
    }
    return RunProgram(args, limits);
}

// A refusal of the input is its exit code with a message that names the file.
void ExpectCleanAnswer(const ChildResult& result, const std::string& file, const std::string& what)
{
    ASSERT_TRUE(result.clean()) << what << ": " << result.describe();
    if (result.exitCode != 0) {
        EXPECT_EQ(result.exitCode, kBadInput) << what << ": " << result.output;
        EXPECT_NE(result.output.find(file), std::string::npos)
            << what << ": the message does not name " << file << ":\n"
            << result.output;
    }
}

class CliOnBrokenGif : public ::testing::TestWithParam<GifCase> {};

TEST_P(CliOnBrokenGif, EveryCommandEndsCleanly)
{
    const GifCase& c = GetParam();
    TempDir dir;
    const std::string input = dir.file(c.name + ".gif");
    WriteBytes(input, c.bytes);

    const ChildResult info = Cli({"info", input});
    ExpectCleanAnswer(info, input, "info");
    if (c.expect == Expect::Opens) {
        EXPECT_EQ(info.exitCode, 0) << info.output;
    } else if (c.expect != Expect::Either) {
        EXPECT_NE(info.exitCode, 0) << info.output;
    }

    const std::string frames = dir.file("frames");
    const ChildResult extracted = Cli({"frames", input, frames});
    ExpectCleanAnswer(extracted, input, "frames");
    EXPECT_EQ(extracted.exitCode, info.exitCode) << extracted.output;

    // The output exists after a success only, and is never left half-made.
    const std::string output = dir.file("out.gif");
    const ChildResult converted = Cli({"convert", input, output, "--variant", std::to_string(c.bytes.size() % 17)});
    ExpectCleanAnswer(converted, input, "convert");
    EXPECT_EQ(converted.exitCode, info.exitCode) << converted.output;
    EXPECT_EQ(std::filesystem::exists(output), converted.exitCode == 0);
    std::vector<std::string> names = dir.list();
    std::erase(names, c.name + ".gif");
    std::erase(names, "frames");
    std::erase(names, "out.gif");
    EXPECT_TRUE(names.empty()) << "left behind: " << names.front();
}

INSTANTIATE_TEST_SUITE_P(Cases, CliOnBrokenGif, ::testing::ValuesIn(gifbytes::ConformanceCases()),
                         [](const ::testing::TestParamInfo<GifCase>& info) { return info.param.name; });

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        input = dir.file("in.gif");
        output = dir.file("out.gif");
        WriteBytes(input, gifbytes::SmallAnimation(48, 40, 6));
        WriteBytes(output, kPrevious);
    }
    std::vector<std::string> others() const
    {
        std::vector<std::string> names = dir.list();
        std::erase(names, "in.gif");
        return names;
    }

    TempDir dir;
    std::string input;
    std::string output;
};

TEST_F(CliFaults, FileSizeLimitKeepsThePreviousOutput)
{
    Limits limits;
    limits.fileSizeBytes = 600;
    const std::string pngs = dir.file("pngs");
    for (const bool withPngs : {false, true}) {
        std::vector<std::string> args = {"convert", input, output, "--variant", "3"};
        if (withPngs) {
            args.insert(args.end(), {"--png-frames", pngs});
        }
        const ChildResult result = Cli(args, limits);
        ASSERT_TRUE(result.clean()) << result.describe();
        EXPECT_EQ(result.exitCode, kBadOutput) << result.output;
        // Either write may be the one that runs into the limit.
        EXPECT_TRUE(result.output.find(output) != std::string::npos
                    || (withPngs && result.output.find(pngs) != std::string::npos))
            << result.output;
        EXPECT_EQ(ReadBytes(output), kPrevious);
        std::vector<std::string> names = others();
        std::erase(names, "pngs");
        EXPECT_EQ(names, std::vector<std::string>{"out.gif"});
    }
}

TEST_F(CliFaults, BadDestinationsAndSources)
{
    const std::string regular = dir.file("note.txt");
    WriteBytes(regular, kPrevious);
    struct Row {
        std::vector<std::string> args;
        std::string named; // the file the message must name
        int exitCode;
    };
    const std::vector<Row> rows = {
        {{"convert", input, dir.file("missing/out.gif")}, dir.file("missing/out.gif"), kBadOutput},
        {{"convert", input, regular + "/out.gif"}, regular + "/out.gif", kBadOutput},
        {{"convert", input, dir.path().string()}, dir.path().string(), kBadOutput},
        {{"convert", dir.file("gone.gif"), output}, dir.file("gone.gif"), kBadInput},
        {{"convert", dir.path().string(), output}, dir.path().string(), kBadInput},
        {{"info", dir.path().string()}, dir.path().string(), kBadInput},
        {{"info", dir.file("gone.gif")}, dir.file("gone.gif"), kBadInput},
        {{"info", ""}, "", kBadInput},
        {{"frames", input, regular}, regular, kBadOutput},
        {{"frames", input, regular + "/sub"}, regular + "/sub", kBadOutput},
        {{"snapshots", input, regular}, regular, kBadOutput},
        {{"convert", input, output, "--png-frames", regular}, regular, kBadOutput},
    };
    for (const Row& row : rows) {
        const ChildResult result = Cli(row.args);
        ASSERT_TRUE(result.clean()) << row.args[0] << " " << row.named << ": " << result.describe();
        EXPECT_EQ(result.exitCode, row.exitCode) << row.named << ": " << result.output;
        EXPECT_NE(result.output.find(row.named), std::string::npos) << result.output;
        EXPECT_EQ(ReadBytes(output), kPrevious) << row.named;
        EXPECT_EQ(ReadBytes(regular), kPrevious) << row.named;
        EXPECT_EQ(others(), (std::vector<std::string>{"note.txt", "out.gif"})) << row.named;
    }
}

TEST_F(CliFaults, ConvertingAFileOntoItselfReplacesItWhole)
{
    const ChildResult result = Cli({"convert", input, input, "--variant", "5"});
    ASSERT_TRUE(result.clean()) << result.describe();
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const ChildResult info = Cli({"info", input});
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_EQ(others(), std::vector<std::string>{"out.gif"});
}

// Ctrl-C, a kill or a closed terminal during a conversion: the exit code
// for an interruption, the old output untouched, no temporary file.
TEST_F(CliFaults, InterruptLeavesNoPartialOutput)
{
    WriteBytes(input, gifbytes::SmallAnimation(480, 360, 150));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        Limits limits;
        limits.signalAfterMs = 200;
        limits.signalToSend = signal;
        const ChildResult result = Cli({"convert", input, output, "--quiet", "--threads", "1"}, limits);
        ASSERT_TRUE(result.clean()) << result.describe();
        if (result.exitCode == 0) {
            GTEST_SKIP() << "the conversion finished before the signal";
        }
        EXPECT_EQ(result.exitCode, kInterrupted) << result.output;
        EXPECT_EQ(ReadBytes(output), kPrevious);
        EXPECT_EQ(others(), std::vector<std::string>{"out.gif"});
    }
}

// A GIF within the limits but too large for the memory there is: every
// command either manages or refuses it as bad input naming the file.
TEST_F(CliFaults, TooLittleMemoryIsACleanRefusal)
{
    if (BuiltWithAddressSanitizer()) {
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the cap allows";
    }
    WriteBytes(input, gifbytes::SmallAnimation(3000, 2000, 2));
    Limits limits;
    limits.addressSpaceBytes = 320ll << 20;
    const std::string folder = dir.file("pictures");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", input}, {"frames", input, folder}, {"snapshots", input, folder},
          {"convert", input, output, "--threads", "2"}}) {
        SCOPED_TRACE(args[0]);
        const ChildResult result = Cli(args, limits);
        ASSERT_TRUE(result.clean()) << result.describe();
        if (result.exitCode != 0) {
            EXPECT_EQ(result.exitCode, kBadInput) << result.output;
            EXPECT_NE(result.output.find(input + ": "), std::string::npos) << result.output;
        }
        EXPECT_EQ(ReadBytes(output), kPrevious);
        if (args[0] == "convert") {
            // Refused up front, from the memory left, not after an allocation failed.
            EXPECT_NE(result.output.find("MB are free"), std::string::npos) << result.output;
        }
    }
}

TEST_F(CliFaults, UsageErrorsAreNotCrashes)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"convert"}, {"convert", input}, {"convert", input, output, "--variant", "17"},
          {"convert", input, output, "--variant", "-1"}, {"convert", input, output, "--variant", "99999999999"},
          {"convert", input, output, "--threads", "-3"}, {"no-such-command"}}) {
        const ChildResult result = Cli(args);
        ASSERT_TRUE(result.clean()) << result.describe();
        EXPECT_EQ(result.exitCode, kUsage) << result.output;
        EXPECT_FALSE(result.output.empty());
        EXPECT_EQ(ReadBytes(output), kPrevious);
    }
}

} // namespace
} // namespace qf::hardening
