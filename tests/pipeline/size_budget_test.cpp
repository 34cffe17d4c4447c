// Byte budgets: an output never over its budget, and a budget that cannot
// be met refused with the smallest size said and nothing written.
#include "support.h"

#include "pipeline/size_budget.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qf::test {
namespace {

TEST(SizeBudget, NeverOverTheBudgetAndAnImpossibleOneWritesNothing)
{
    TempDir dir;
    const std::string input = dir.file("in.gif"), output = dir.file("out.gif");
    WriteBytes(input, SmallAnimation(96, 64, 16));
    ConvertOptions options;
    options.variant = 6;
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();
    const auto full = static_cast<long long>(std::filesystem::file_size(output));
    for (const int percent : {150, 80, 50, 30, 15, 5}) {
        SCOPED_TRACE(percent);
        const long long budget = full * percent / 100;
        BudgetOutcome outcome;
        std::filesystem::remove(output);
        ASSERT_TRUE(ConvertWithinBudget(input, output, options, budget, &outcome, &error)) << error.message();
        EXPECT_LE(static_cast<long long>(std::filesystem::file_size(output)), budget);
        EXPECT_LE(outcome.fullEncodes, 2);
        // Frames dropped, if any, only as many as the frame step says.
        EXPECT_GE(ReadAnimation(output).size() * static_cast<std::size_t>(outcome.settings.frameStep), 16u);
    }
    // Too small for any frame: refused, and what was there stays.
    WriteBytes(output, {'o', 'l', 'd'});
    BudgetOutcome outcome;
    EXPECT_FALSE(ConvertWithinBudget(input, output, options, 200, &outcome, &error));
    EXPECT_EQ(error.kind, imaging::ErrorKind::TooLarge);
    EXPECT_NE(error.message().find("the smallest"), std::string::npos) << error.message();
    EXPECT_TRUE(ReadBytes(output) == Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// Saving a result fitted under a limit as WebP keeps the limit, also where
// the result's own lossless WebP is bigger.
TEST(SizeBudget, AWebpOfAFittedResultKeepsItsLimit)
{
    TempDir dir;
    const std::string input = dir.file("in.gif"), shown = dir.file("shown.gif"), saved = dir.file("saved.webp");
    WriteBytes(input, SmallAnimation(96, 64, 16));
    ConvertOptions options;
    options.variant = 6;
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(input, shown, options, &error)) << error.message();
    ASSERT_TRUE(RewriteAnimation(shown, saved, {imaging::OutputFormat::Webp}, {}, &error)) << error.message();
    const auto limit = static_cast<long long>(std::filesystem::file_size(saved)) / 2;
    ASSERT_TRUE(WriteWebpWithinBudget(shown, input, saved, options, limit, &error)) << error.message();
    EXPECT_LE(static_cast<long long>(std::filesystem::file_size(saved)), limit);
    EXPECT_GE(ReadAnimation(saved).size(), 4u);
}

} // namespace
} // namespace qf::test
