// Every input a fuzzer once failed on, replayed through the fuzzers' own
// checks: fuzz/regressions/reader holds GIF files, .../writer the bytes
// that drive the animation writer. A spread of writer inputs (each pixel
// layout, transparency, padding, loop setting, abandoning; few, 256 and more
// colours) goes through the same checks; the broken-GIF table goes through
// the reader's in reader_test.cpp.
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
    for (const auto& [kind, check] : {std::pair{"reader", &fuzz::CheckGifFile}, {"webp", &fuzz::CheckWebpFile}})
        for (const auto& file : Inputs(kind)) {
            const Bytes bytes = ReadBytes(file.string());
            EXPECT_EQ(check(file.string(), bytes.data(), bytes.size()), "") << file;
        }
}

TEST(FuzzReplay, WriterInputsAndPaths)
{
    TempDir dir;
    std::uint32_t state = 7;
    for (int flags = 0; flags < 256; flags += 7) {
        Bytes bytes = {23, 17, 3, static_cast<std::uint8_t>(flags)};
        for (int frame = 0; frame < 3; ++frame) {
            bytes.push_back(static_cast<std::uint8_t>((flags / 7 + frame) % 5));
            for (int i = 0; i < 1200; ++i)
                bytes.push_back(static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 16));
        }
        EXPECT_EQ(fuzz::CheckAnimationWriter(dir.path().string(), bytes.data(), bytes.size()), "") << flags;
    }
    for (const auto& file : Inputs("writer")) {
        const Bytes bytes = ReadBytes(file.string());
        EXPECT_EQ(fuzz::CheckAnimationWriter(dir.path().string(), bytes.data(), bytes.size()), "") << file;
    }
}

} // namespace
} // namespace qf::test
