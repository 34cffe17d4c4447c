// Every input a fuzzer once failed on, replayed through the fuzzer's own
// checks: regressions/reader holds GIF files, regressions/writer the bytes
// that drive the animation writer.
#include "fuzz_checks.h"
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

} // namespace
} // namespace qf::hardening
