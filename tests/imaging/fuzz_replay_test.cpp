// Every input a reader fuzzer once failed on, replayed through the fuzzers'
// own checks: fuzz/regressions/reader holds GIF files, .../webp WebP files.
// The broken-GIF table goes through the same checks in reader_test.cpp.
#include "fuzz_checks.h"
#include "support.h"

#include <gtest/gtest.h>

namespace qf::test {
namespace {

std::vector<std::filesystem::path> Inputs(const std::string& kind)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(QF_REGRESSIONS) / kind))
        if (entry.is_regular_file() && entry.path().filename() != ".gitkeep")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzReplay, ReaderInputs)
{
    for (const auto& [kind, check] :
         {std::pair{"reader", &fuzz::CheckGifFile}, {"webp", &fuzz::CheckWebpFile}})
        for (const auto& file : Inputs(kind)) {
            const Bytes bytes = ReadBytes(file.string());
            EXPECT_EQ(check(file.string(), bytes.data(), bytes.size()), "") << file;
        }
}

} // namespace
} // namespace qf::test
