// The committed shapes animation converted as a user converts it, each
// result held against what a person sees in the source: where the shapes
// are and which way up, their colours, what stays transparent, the size and
// how long each frame shows.
#include "support.h"

#include <gtest/gtest.h>

namespace qf::test {
namespace {

TEST(Shapes, ConvertedAsAPersonSeesThem)
{
    TempDir dir;
    struct Row {
        std::string in;                // "gif" or "webp"
        std::vector<std::string> args; // after convert IN OUT
        std::string out;
        int width, height;
        std::string glance; // empty: every pixel as ShapesSketch
        const char* fill = "RB";
        bool transparent = false;
    };
    const std::vector<Row> rows = {
        {"gif", {"--variant", "colour-sketch"}, "sketch.gif", 40, 30, ""},
        {"gif", {"--variant", "line-sketch"}, "lines.gif", 40, 30, "", "  "},
        {"gif", {"--variant", "colour-sketch", "--keep-transparency"}, "kept.gif", 40, 30, "", "RB", true},
        {"gif", {"--variant", "5", "--keep-transparency"}, "kept.webp", 40, 30, "", "RB", true},
        {"webp", {"--variant", "5"}, "from-webp.gif", 40, 30, ""},
        {"webp", {"--variant", "5", "--keep-transparency", "--format", "webp"}, "-", 40, 30, "", "RB", true},
        {"gif", {"--variant", "5", "--max-size", "100x100"}, "fits.gif", 40, 30, ""},
        {"gif", {"--variant", "5", "--max-size", "20x20"}, "shrunk.gif", 20, 15, "#RB "},
        {"gif", {"--variant", "5", "--max-size", "60x15", "--keep-transparency"}, "wide.gif", 20, 15, "#RB."},
        {"gif", {"--variant", "5", "--scale", "0.5"}, "half.gif", 20, 15, "#RB "},
        {"gif", {"--variant", "5", "--scale", "2"}, "double.webp", 80, 60, "#RB "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out + " from " + row.in + " " + testing::PrintToString(row.args));
        std::vector<std::string> args = {QF_CLI, "convert", Shapes(row.in.c_str()), dir.file(row.out)};
        args.insert(args.end(), row.args.begin(), row.args.end());
        std::string out = dir.file(row.out);
        if (row.out == "-") { // standard output, from standard input
            out = dir.file("piped.webp");
            args[2] = args[3] = "-";
            std::string command = "'" + args[0] + "'";
            for (std::size_t i = 1; i < args.size(); ++i)
                command += " '" + args[i] + "'";
            args = {"/bin/sh", "-c", command + " < '" + Shapes(row.in.c_str()) + "' > '" + out + "'"};
        }
        const ChildResult result = RunProgram(args);
        ASSERT_EQ(result.exitCode, 0) << result.describe();
        imaging::AnimationInfo info;
        const std::vector<imaging::RgbaImage> frames = ReadAnimation(out, &info);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(info.delays, (std::vector<int>{20, 300}));
        EXPECT_EQ(info.loopCount, 3);
        for (int n = 1; n <= 2; ++n) {
            const imaging::RgbaImage& frame = frames[n - 1];
            ASSERT_EQ(std::pair(frame.width, frame.height), std::pair(row.width, row.height));
            if (row.glance.empty())
                EXPECT_EQ(Looks(frame), ShapesSketch(n, row.fill, row.transparent)) << "frame " << n;
            else
                EXPECT_EQ(ShapesAtAGlance(frame), row.glance) << "frame " << n;
        }
    }
}

} // namespace
} // namespace qf::test
