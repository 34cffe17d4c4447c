// The window's road on broken input and broken destinations: opening each
// hostile GIF ends in a message naming the file or in the snapshots, a
// conversion never leaves a partial result, and saving a copy under a full
// disk keeps the file that was there.
#include "child_process.h"
#include "gif_cases.h"
#include "test_files.h"

#include "shell/file_copy.h"
#include "shell/pipeline_work.h"

#include <gtest/gtest.h>

namespace qf::hardening {
namespace {

using gifbytes::Expect;
using gifbytes::GifCase;

const std::vector<std::uint8_t> kPrevious = {'s', 'a', 'v', 'e', 'd'};

class WindowOnBrokenGif : public ::testing::TestWithParam<GifCase> {};

TEST_P(WindowOnBrokenGif, OpenAndConvertAnswerCleanly)
{
    const GifCase& c = GetParam();
    TempDir dir;
    const QString input = QString::fromStdString(dir.file(c.name + ".gif"));
    WriteBytes(input.toStdString(), c.bytes);

    shell::PipelineWork work;
    shell::OpenedGif gif;
    QString error;
    const bool opened = work.open(input, Switches{}, {}, &gif, &error);
    if (!opened) {
        EXPECT_NE(c.expect, Expect::Opens) << error.toStdString();
        EXPECT_TRUE(error.contains(input)) << error.toStdString();
        return;
    }
    EXPECT_TRUE(c.expect == Expect::Opens || c.expect == Expect::Either) << c.name;
    ASSERT_GE(gif.frameCount, 1);
    EXPECT_EQ(gif.delays.size(), gif.frameCount);
    EXPECT_EQ(gif.snapshots.size(), gif.frameCount >= 2 ? 17 : 0);

    const QString target = QString::fromStdString(dir.file("result.gif"));
    WriteBytes(target.toStdString(), kPrevious);
    const bool converted =
        work.convert(input, target, static_cast<int>(c.bytes.size() % 17), Switches{}, {}, &error);
    EXPECT_TRUE(converted) << error.toStdString();
    std::vector<std::string> names = dir.list();
    std::erase(names, c.name + ".gif");
    EXPECT_EQ(names, std::vector<std::string>{"result.gif"});
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowOnBrokenGif, ::testing::ValuesIn(gifbytes::ConformanceCases()),
                         [](const ::testing::TestParamInfo<GifCase>& info) { return info.param.name; });

// Saving is a copy of the temporary result to where the user points.
TEST(WindowSave, FullDiskAndBadDestinationsKeepWhatWasThere)
{
    TempDir dir;
    const QString source = QString::fromStdString(dir.file("result.gif"));
    WriteBytes(source.toStdString(), std::vector<std::uint8_t>(32 * 1024, 0x47));
    const QString saved = QString::fromStdString(dir.file("saved.gif"));
    WriteBytes(saved.toStdString(), kPrevious);

    Limits limits;
    limits.fileSizeBytes = 8 * 1024;
    const ChildResult child = RunInChild(
        [&] {
            QString error;
            if (shell::CopyFileAtomically(source, saved, &error)) {
                std::printf("copied beyond the size limit\n");
                return 1;
            }
            std::printf("%s\n", error.toStdString().c_str());
            return error.contains(saved) ? 0 : 1;
        },
        limits);
    EXPECT_TRUE(child.clean() && child.exitCode == 0) << child.describe();
    EXPECT_EQ(ReadBytes(saved.toStdString()), kPrevious);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"result.gif", "saved.gif"}));

    for (const QString& destination :
         {QString::fromStdString(dir.file("missing/saved.gif")), saved + "/inside.gif",
          QString::fromStdString(dir.path().string())}) {
        QString error;
        EXPECT_FALSE(shell::CopyFileAtomically(source, destination, &error)) << destination.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    QString error;
    EXPECT_FALSE(shell::CopyFileAtomically(QString::fromStdString(dir.file("gone.gif")), saved, &error));
    EXPECT_EQ(ReadBytes(saved.toStdString()), kPrevious);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"result.gif", "saved.gif"}));
}

} // namespace
} // namespace qf::hardening
