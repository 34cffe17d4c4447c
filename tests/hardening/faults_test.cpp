// Writing under faults: a full or size-limited file system, folders that are
// missing or not folders, an input that changes under a running conversion,
// and cancelling. Whatever fails, the previous file stays as it was and no
// temporary file is left beside it.
#include "child_process.h"
#include "gif_bytes.h"
#include "test_files.h"

#include "imaging/atomic_file.h"
#include "imaging/gif_reader.h"
#include "imaging/gif_writer.h"
#include "imaging/png_io.h"
#include "pipeline/convert.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sched.h>

#include <cstdio>
#include <fstream>

namespace qf::hardening {
namespace {

using imaging::Error;
using imaging::ErrorKind;

const std::vector<std::uint8_t> kPrevious = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', ' ', 'f', 'i', 'l', 'e'};

// Noisy 64 x 64 RGBA frames: hundreds of colours, so the animation cannot
// compress below the limits the tests set.
imaging::RgbaImage NoiseFrame(int seed)
{
    imaging::RgbaImage image{64, 64, std::vector<std::uint8_t>(64 * 64 * 4)};
    std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(seed + 1);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image.pixels[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

// Writes a ten-frame noisy animation to path; false with error on failure.
bool WriteNoiseAnimation(const std::string& path, Error* error)
{
    imaging::AnimationWriter writer;
    if (!writer.open(path, 64, 64, 0, error)) {
        return false;
    }
    for (int f = 0; f < 10; ++f) {
        const imaging::RgbaImage frame = NoiseFrame(f);
        if (!writer.addFrame(imaging::ImageView::of(frame), 10, error)) {
            return false;
        }
    }
    return writer.finish(error);
}

// Runs write in a child whose files may not grow past limitBytes, and checks
// the outcome there: a failure that names the destination, the previous
// file intact, and no other file in the folder.
void ExpectCleanFailureUnderSizeLimit(const std::string& what,
                                      const std::function<bool(const std::string&, Error*)>& write)
{
    TempDir dir;
    const std::string destination = dir.file("result.out");
    WriteBytes(destination, kPrevious);
    Limits limits;
    limits.fileSizeBytes = 4096;
    const ChildResult child = RunInChild(
        [&] {
            Error error;
            if (write(destination, &error)) {
                std::printf("succeeded beyond the size limit\n");
                return 1;
            }
            std::printf("%s\n", error.message().c_str());
            if (error.kind != ErrorKind::Unwritable || error.file != destination || error.reason.empty()) {
                std::printf("not an unwritable error naming the destination\n");
                return 1;
            }
            return 0;
        },
        limits);
    EXPECT_TRUE(child.clean() && child.exitCode == 0) << what << ": " << child.describe();
    EXPECT_EQ(ReadBytes(destination), kPrevious) << what;
    EXPECT_EQ(dir.list(), std::vector<std::string>{"result.out"}) << what;
}

TEST(SizeLimitedFileSystem, EveryWriterKeepsThePreviousFile)
{
    TempDir sources;
    const std::string bigSource = sources.file("big.bin");
    WriteBytes(bigSource, std::vector<std::uint8_t>(64 * 1024, 0x42));

    ExpectCleanFailureUnderSizeLimit("animation", WriteNoiseAnimation);
    ExpectCleanFailureUnderSizeLimit("copy", [&](const std::string& destination, Error* error) {
        return imaging::CopyFileAtomically(bigSource, destination, error);
    });
    ExpectCleanFailureUnderSizeLimit("png", [](const std::string& destination, Error* error) {
        const imaging::RgbaImage frame = NoiseFrame(7);
        return imaging::WritePng(destination, imaging::ImageView::of(frame), error);
    });
}

// A real full disk: a 64 KiB tmpfs in a private mount namespace of a child.
TEST(FullFileSystem, AnimationAndCopyKeepThePreviousFile)
{
    TempDir dir;
    const std::string mountPoint = dir.file("small-disk");
    std::filesystem::create_directory(mountPoint);
    const ChildResult child = RunInChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
            std::printf("cannot mount a small file system here\n");
            return 77;
        }
        const std::string destination = mountPoint + "/result.gif";
        const std::string source = mountPoint + "/source.bin";
        WriteBytes(destination, kPrevious);
        WriteBytes(source, std::vector<std::uint8_t>(24 * 1024, 0x17));
        int failures = 0;
        auto check = [&](const char* what, bool ok, const Error& error) {
            const bool intact = ReadBytes(destination) == kPrevious;
            std::size_t files = 0;
            for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(mountPoint)) {
                ++files;
            }
            if (ok || error.kind != ErrorKind::Unwritable || error.file != destination || !intact || files != 2) {
                std::printf("%s: ok=%d intact=%d files=%zu error=%s\n", what, ok, intact, files,
                            error.message().c_str());
                ++failures;
            }
        };
        Error error;
        check("animation", WriteNoiseAnimation(destination, &error), error);
        // The disk holds 24 + 24 KiB; a second copy does not fit.
        error = {};
        const std::string copy = mountPoint + "/copy.bin";
        if (!imaging::CopyFileAtomically(source, copy, &error)) {
            std::printf("first copy failed: %s\n", error.message().c_str());
            ++failures;
        }
        std::filesystem::remove(copy);
        WriteBytes(mountPoint + "/ballast.bin", std::vector<std::uint8_t>(24 * 1024, 0x33));
        error = {};
        const bool copied = imaging::CopyFileAtomically(source, destination, &error);
        std::filesystem::remove(mountPoint + "/ballast.bin");
        check("copy", copied, error);
        umount(mountPoint.c_str());
        return failures == 0 ? 0 : 1;
    });
    if (child.exited && child.exitCode == 77) {
        GTEST_SKIP() << "no private tmpfs on this machine: " << child.output;
    }
    EXPECT_TRUE(child.clean() && child.exitCode == 0) << child.describe();
}

// Destinations that cannot be files: a missing folder, a path under a
// regular file, an existing folder. Each write fails with an error naming
// the destination and creates nothing.
TEST(BadDestinations, ClearErrorsAndNothingCreated)
{
    TempDir dir;
    const std::string regular = dir.file("regular.txt");
    WriteBytes(regular, kPrevious);
    const std::string folder = dir.file("folder.gif");
    std::filesystem::create_directory(folder);
    const std::string source = dir.file("source.bin");
    WriteBytes(source, kPrevious);
    const imaging::RgbaImage frame = NoiseFrame(1);

    for (const std::string& destination :
         {dir.file("missing/out.gif"), regular + "/out.gif", folder, std::string()}) {
        SCOPED_TRACE(destination);
        const std::vector<std::string> before = dir.list();
        Error error;
        EXPECT_FALSE(WriteNoiseAnimation(destination, &error));
        EXPECT_EQ(error.kind, ErrorKind::Unwritable);
        EXPECT_EQ(error.file, destination);
        EXPECT_FALSE(error.reason.empty());

        error = {};
        EXPECT_FALSE(imaging::CopyFileAtomically(source, destination, &error));
        EXPECT_EQ(error.file, destination);
        EXPECT_FALSE(error.reason.empty());

        error = {};
        EXPECT_FALSE(imaging::WritePng(destination, imaging::ImageView::of(frame), &error));
        EXPECT_EQ(error.file, destination);

        EXPECT_EQ(dir.list(), before);
        EXPECT_TRUE(std::filesystem::is_empty(folder));
    }
    EXPECT_EQ(ReadBytes(regular), kPrevious);
}

TEST(BadDestinations, CopyFromAMissingOrFolderSourceKeepsTheDestination)
{
    TempDir dir;
    const std::string destination = dir.file("saved.gif");
    WriteBytes(destination, kPrevious);
    for (const std::string& source : {dir.file("gone.gif"), dir.path().string()}) {
        Error error;
        EXPECT_FALSE(imaging::CopyFileAtomically(source, destination, &error)) << source;
        EXPECT_FALSE(error.reason.empty());
        EXPECT_EQ(ReadBytes(destination), kPrevious);
        EXPECT_EQ(dir.list(), std::vector<std::string>{"saved.gif"});
    }
}

TEST(BadDestinations, ReadOnlyFolder)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders; the other destination tests cover refusals";
    }
    TempDir dir;
    const std::string folder = dir.file("locked");
    std::filesystem::create_directory(folder);
    const std::string destination = folder + "/out.gif";
    WriteBytes(destination, kPrevious);
    chmod(folder.c_str(), 0555);
    Error error;
    EXPECT_FALSE(WriteNoiseAnimation(destination, &error));
    EXPECT_EQ(error.kind, ErrorKind::Unwritable);
    EXPECT_EQ(error.file, destination);
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(ReadBytes(destination), kPrevious);
}

TEST(AbandonedAnimation, LeavesTheDestinationAndNoTemporaryFile)
{
    TempDir dir;
    const std::string destination = dir.file("out.gif");
    WriteBytes(destination, kPrevious);
    {
        imaging::AnimationWriter writer;
        Error error;
        ASSERT_TRUE(writer.open(destination, 64, 64, 0, &error)) << error.message();
        const imaging::RgbaImage frame = NoiseFrame(3);
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(frame), 5, &error));
        // The writer goes out of scope without finish.
    }
    EXPECT_EQ(ReadBytes(destination), kPrevious);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.gif"});

    // The folder disappears between open and finish.
    const std::string folder = dir.file("vanishing");
    std::filesystem::create_directory(folder);
    imaging::AnimationWriter writer;
    Error error;
    if (writer.open(folder + "/out.gif", 64, 64, 0, &error)) {
        const imaging::RgbaImage frame = NoiseFrame(4);
        const bool added = writer.addFrame(imaging::ImageView::of(frame), 5, &error);
        std::filesystem::remove_all(folder);
        EXPECT_FALSE(added && writer.finish(&error));
        EXPECT_FALSE(error.reason.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}

class Conversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        input = dir.file("in.gif");
        output = dir.file("out.gif");
        WriteBytes(input, gifbytes::SmallAnimation(24, 16, 8));
        WriteBytes(output, kPrevious);
    }

    // Expects either a failure with the output untouched (its error naming
    // a file unless it was a cancel), or a complete output.
    void ExpectNoPartialOutput(bool converted, const Error& error, int frames)
    {
        std::vector<std::string> names = dir.list();
        names.erase(std::remove(names.begin(), names.end(), "in.gif"), names.end());
        EXPECT_EQ(names, std::vector<std::string>{"out.gif"});
        if (!converted) {
            EXPECT_FALSE(error.reason.empty());
            EXPECT_TRUE(error.kind == ErrorKind::Cancelled || !error.file.empty()) << error.message();
            EXPECT_EQ(ReadBytes(output), kPrevious);
            return;
        }
        imaging::GifReader reader;
        Error readError;
        ASSERT_TRUE(reader.open(output, &readError)) << readError.message();
        EXPECT_EQ(reader.info().frameCount, frames);
    }

    TempDir dir;
    std::string input;
    std::string output;
};

TEST_F(Conversion, CancelLeavesTheOutputAsItWas)
{
    for (int stopAfter : {0, 1, 4}) {
        int reports = 0;
        ConvertOptions options;
        options.threads = 2;
        options.progress = [&](double) { return reports++ < stopAfter; };
        Error error;
        EXPECT_FALSE(ConvertAllFrames(input, output, options, &error)) << stopAfter;
        EXPECT_EQ(error.kind, ErrorKind::Cancelled) << error.message();
        ExpectNoPartialOutput(false, error, 8);
    }
    // Cancelled with no earlier output: nothing appears.
    std::filesystem::remove(output);
    ConvertOptions options;
    options.progress = [](double) { return false; };
    Error error;
    EXPECT_FALSE(ConvertAllFrames(input, output, options, &error));
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.gif"});
}

// The input is deleted, cut short or replaced by a folder while frames are
// being converted. Reading from an open file may go on, so success is fine;
// what is never fine is a crash, a partial output or a silent short result.
TEST_F(Conversion, InputChangingMidRun)
{
    // Noise, so that the file is larger than any read-ahead buffer and
    // cutting it short is noticed.
    gifbytes::Palette palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i * 13)});
    }
    gifbytes::Bytes noise;
    gifbytes::PutHeader(noise);
    gifbytes::PutScreen(noise, 96, 96, &palette);
    std::uint32_t state = 1;
    constexpr int kFrames = 16;
    for (int f = 0; f < kFrames; ++f) {
        std::vector<std::uint8_t> indexes(96 * 96);
        for (auto& index : indexes) {
            state = state * 1664525u + 1013904223u;
            index = static_cast<std::uint8_t>(state >> 24);
        }
        gifbytes::PutControl(noise, 1, 4);
        gifbytes::PutFrame(noise, {0, 0, 96, 96}, indexes);
    }
    gifbytes::PutTrailer(noise);
    const std::vector<std::uint8_t>& original = noise;
    ASSERT_GT(original.size(), 3u << 16);
    const std::vector<std::function<void()>> changes = {
        [&] { std::filesystem::remove(input); },
        [&] { std::filesystem::resize_file(input, original.size() / 3); },
        [&] {
            std::filesystem::remove(input);
            std::filesystem::create_directory(input);
        },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        std::filesystem::remove_all(input);
        WriteBytes(input, original);
        WriteBytes(output, kPrevious);
        bool changed = false;
        ConvertOptions options;
        options.threads = 1;
        options.progress = [&](double percent) {
            if (!changed && percent > 0) {
                changes[i]();
                changed = true;
            }
            return true;
        };
        Error error;
        const bool converted = ConvertAllFrames(input, output, options, &error);
        std::filesystem::remove_all(input);
        ExpectNoPartialOutput(converted, error, kFrames);
        if (i == 1) {
            EXPECT_FALSE(converted) << "a cut input gave a complete output";
            EXPECT_EQ(error.file, input);
        }
    }
}

TEST_F(Conversion, MissingInputAndBadOutput)
{
    ConvertOptions options;
    Error error;
    EXPECT_FALSE(ConvertAllFrames(dir.file("none.gif"), output, options, &error));
    EXPECT_EQ(error.file, dir.file("none.gif"));
    EXPECT_EQ(ReadBytes(output), kPrevious);

    for (const std::string& bad : {dir.file("missing/out.gif"), input + "/out.gif", dir.path().string()}) {
        error = {};
        EXPECT_FALSE(ConvertAllFrames(input, bad, options, &error)) << bad;
        EXPECT_EQ(error.kind, ErrorKind::Unwritable) << bad;
        EXPECT_EQ(error.file, bad);
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.gif", "out.gif"}));
}

} // namespace
} // namespace qf::hardening
