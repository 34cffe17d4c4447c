// The command line on broken input and broken destinations: every command
// ends with an exit code and a message, never with a signal, a sanitizer
// report or a half-written output.
#include "child_process.h"
#include "gif_cases.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace qf::hardening {
namespace {

using gifbytes::Expect;
using gifbytes::GifCase;

const std::vector<std::uint8_t> kPrevious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

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

// A refusal is an exit code other than 0 with a message that names the file.
void ExpectCleanAnswer(const ChildResult& result, const std::string& file, const std::string& what)
{
    ASSERT_TRUE(result.clean()) << what << ": " << result.describe();
    if (result.exitCode != 0) {
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
        EXPECT_NE(result.exitCode, 0);
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
    };
    const std::vector<Row> rows = {
        {{"convert", input, dir.file("missing/out.gif")}, dir.file("missing/out.gif")},
        {{"convert", input, regular + "/out.gif"}, regular + "/out.gif"},
        {{"convert", input, dir.path().string()}, dir.path().string()},
        {{"convert", dir.file("gone.gif"), output}, dir.file("gone.gif")},
        {{"convert", dir.path().string(), output}, dir.path().string()},
        {{"info", dir.path().string()}, dir.path().string()},
        {{"info", dir.file("gone.gif")}, dir.file("gone.gif")},
        {{"frames", input, regular}, regular},
        {{"frames", input, regular + "/sub"}, regular + "/sub"},
        {{"snapshots", input, regular}, regular},
        {{"convert", input, output, "--png-frames", regular}, regular},
    };
    for (const Row& row : rows) {
        const ChildResult result = Cli(row.args);
        ASSERT_TRUE(result.clean()) << row.args[0] << " " << row.named << ": " << result.describe();
        EXPECT_NE(result.exitCode, 0) << row.named;
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

TEST_F(CliFaults, UsageErrorsAreNotCrashes)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"convert"}, {"convert", input}, {"convert", input, output, "--variant", "17"},
          {"convert", input, output, "--variant", "-1"}, {"convert", input, output, "--variant", "99999999999"},
          {"convert", input, output, "--threads", "-3"}, {"no-such-command"}, {"info", ""}}) {
        const ChildResult result = Cli(args);
        ASSERT_TRUE(result.clean()) << result.describe();
        EXPECT_NE(result.exitCode, 0);
        EXPECT_FALSE(result.output.empty());
        EXPECT_EQ(ReadBytes(output), kPrevious);
    }
}

} // namespace
} // namespace qf::hardening
