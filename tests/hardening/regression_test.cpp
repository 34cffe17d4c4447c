// Every input a fuzzer once failed on, replayed through the fuzzer's own
// checks: regressions/reader holds GIF files, regressions/writer the bytes
// that drive the animation writer. The broken-GIF cases and a spread of
// writer inputs go through the same checks, so the fuzzers' checks stay
// true to the code they test.
#include "fuzz_checks.h"
#include "gif_cases.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace qf::hardening {
namespace {

std::vector<std::filesystem::path> Inputs(const std::string& kind)
{
    std::vector<std::filesystem::path> files;
    const std::filesystem::path folder = std::filesystem::path(QF_REGRESSIONS) / kind;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename() != ".gitkeep") {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzRegressions, ReaderInputs)
{
    for (const auto& file : Inputs("reader")) {
        const std::vector<std::uint8_t> bytes = ReadBytes(file.string());
        EXPECT_EQ(fuzz::CheckGifFile(file.string(), bytes.data(), bytes.size()), "") << file;
    }
}

TEST(FuzzRegressions, WriterInputs)
{
    TempDir dir;
    for (const auto& file : Inputs("writer")) {
        const std::vector<std::uint8_t> bytes = ReadBytes(file.string());
        EXPECT_EQ(fuzz::CheckAnimationWriter(dir.path().string(), bytes.data(), bytes.size()), "") << file;
    }
}

TEST(FuzzChecks, BrokenGifCases)
{
    TempDir dir;
    for (const gifbytes::GifCase& c : gifbytes::ConformanceCases()) {
        const std::string path = dir.file(c.name + ".gif");
        WriteBytes(path, c.bytes);
        EXPECT_EQ(fuzz::CheckGifFile(path, c.bytes.data(), c.bytes.size()), "") << c.name;
    }
}

// Each pixel layout, transparency, padding, loop setting and abandoning,
// with frames of few, 256 and more colours.
TEST(FuzzChecks, WriterPaths)
{
    TempDir dir;
    std::uint32_t state = 7;
    for (int flags = 0; flags < 256; flags += 7) {
        std::vector<std::uint8_t> bytes = {23, 17, 3, static_cast<std::uint8_t>(flags)};
        for (int frame = 0; frame < 3; ++frame) {
            bytes.push_back(static_cast<std::uint8_t>((flags / 7 + frame) % 5));
            for (int i = 0; i < 1200; ++i) {
                state = state * 1103515245u + 12345u;
                bytes.push_back(static_cast<std::uint8_t>(state >> 16));
            }
        }
        EXPECT_EQ(fuzz::CheckAnimationWriter(dir.path().string(), bytes.data(), bytes.size()), "") << flags;
    }
}

} // namespace
} // namespace qf::hardening
