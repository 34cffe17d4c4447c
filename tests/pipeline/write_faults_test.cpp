// Every writer under every write fault: a size-limited (full) file system, a
// missing folder, a path under a regular file, a folder in the way, a
// read-only folder. Each fails with a message naming the destination, keeps
// the file that was there, and leaves nothing beside it.
#include "support.h"

#include "imaging/gif_writer.h"
#include "imaging/png_io.h"
#include "pipeline/convert.h"
#ifdef QF_TEST_WINDOW_SAVE
#include "shell/file_copy.h"
#endif

#include <gtest/gtest.h>

#include <unistd.h>

namespace qf::test {
namespace {

// Noise: hundreds of colours that cannot compress below the size limit.
imaging::RgbaImage Noise(int seed)
{
    imaging::RgbaImage image{64, 64, std::vector<std::uint8_t>(64 * 64 * 4)};
    std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(seed + 1);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image.pixels[i] = i % 4 == 3 ? 255 : static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

// Each writer writes to the destination and returns its error message,
// empty after a success.
using Writer = std::function<std::string(const std::string& destination)>;

TEST(WriteFaults, EveryWriterKeepsWhatWasThere)
{
    TempDir sources;
    const std::string gif = sources.file("source.gif");
    WriteBytes(gif, SmallAnimation(96, 96, 6));
    const std::vector<std::pair<std::string, Writer>> writers = {
        {"animation", [](const std::string& destination) {
             imaging::AnimationWriter writer;
             imaging::Error error;
             bool ok = writer.open(destination, 64, 64, 0, &error);
             for (int f = 0; ok && f < 8; ++f)
                 ok = writer.addFrame(imaging::ImageView::of(Noise(f)), 10, &error);
             return ok && writer.finish(&error) ? "" : error.message();
         }},
        {"png", [](const std::string& destination) {
             imaging::Error error;
             return imaging::WritePng(destination, imaging::ImageView::of(Noise(1)), &error) ? "" : error.message();
         }},
        {"conversion", [&](const std::string& destination) {
             imaging::Error error;
             ConvertOptions options;
             options.threads = 1;
             return ConvertAllFrames(gif, destination, options, &error) ? "" : error.message();
         }},
#ifdef QF_TEST_WINDOW_SAVE
        {"window save", [&](const std::string& destination) {
             QString error;
             shell::CopyFileAtomically(QString::fromStdString(gif), QString::fromStdString(destination), &error);
             return error.toStdString();
         }},
#endif
    };
    const Bytes previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
    // Destinations in the test's folder; a full disk is a file size limit.
    const std::vector<std::pair<std::string, long long>> faults = {
        {"out.gif", 1024}, {"missing/out.gif", -1}, {"out.gif/inside.gif", -1}, {"folder", -1}, {"locked/out.gif", -1}};
    for (const auto& [writerName, write] : writers) {
        for (const auto& [name, sizeLimit] : faults) {
            if (name == "locked/out.gif" && geteuid() == 0)
                continue; // root writes into read-only folders
            SCOPED_TRACE(writerName + " to " + name);
            TempDir dir;
            for (const char* file : {"out.gif", "locked/out.gif"}) {
                std::filesystem::create_directories(dir.file("locked"));
                WriteBytes(dir.file(file), previous);
            }
            std::filesystem::create_directories(dir.file("folder"));
            std::filesystem::permissions(dir.file("locked"), std::filesystem::perms::owner_read
                                                                 | std::filesystem::perms::owner_exec);
            const std::vector<std::string> before = dir.list();
            const std::string destination = dir.file(name);
            Limits limits;
            limits.fileSizeBytes = sizeLimit;
            const ChildResult child = RunInChild(
                [&] {
                    const std::string message = write(destination);
                    std::printf("%s\n", message.empty() ? "succeeded" : message.c_str());
                    return message.find(destination) == std::string::npos;
                },
                limits);
            EXPECT_TRUE(child.clean() && child.exitCode == 0) << child.describe();
            EXPECT_EQ(ReadBytes(dir.file("out.gif")), previous);
            EXPECT_EQ(ReadBytes(dir.file("locked/out.gif")), previous);
            EXPECT_EQ(dir.list(), before);
            EXPECT_TRUE(std::filesystem::is_empty(dir.file("folder")));
        }
    }
}

// Abandoned half-way, by abort() or by going out of scope: the file that
// was there stays, with nothing beside it.
TEST(WriteFaults, AnAbandonedAnimationLeavesNothing)
{
    TempDir dir;
    const Bytes previous = {'o', 'l', 'd'};
    WriteBytes(dir.file("out.gif"), previous);
    for (const bool explicitly : {true, false}) {
        imaging::AnimationWriter writer;
        imaging::Error error;
        ASSERT_TRUE(writer.open(dir.file("out.gif"), 64, 64, 0, &error)) << error.message();
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(Noise(3)), 5, &error));
        if (explicitly)
            writer.abort();
    }
    EXPECT_EQ(ReadBytes(dir.file("out.gif")), previous);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.gif"});
}

} // namespace
} // namespace qf::test
