// quillframe-cli snapshots: frame 1 of each input in all 17 variants, as
// pictures and a contact sheet.
#include "pipeline/snapshots.h"
#include "commands.h"
#include "common.h"
#include "engine/variants.h"
#include "imaging/errors.h"
#include "imaging/png/png_io.h"
#include "pipeline/contact_sheet.h"
#include "pipeline/folders.h"
#include "progress_bar.h"
#include "standard_streams.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace qf::cli {

namespace {

std::string VariantPngName(int variant)
{
    char name[48];
    std::snprintf(name, sizeof name, "variant-%02d.png", variant);
    return name;
}

// The files a snapshots run writes in its folder.
bool SnapshotName(const std::string& name)
{
    if (name == "sheet.png")
        return true;
    for (int variant = 0; variant < kVariantCount; ++variant)
        if (name == VariantPngName(variant))
            return true;
    return false;
}

// Frame 1 of input in all 17 variants into dir, with the contact sheet. The
// error is empty when all is written. The folder is made once the input has
// given a frame to render (inside parent when it is held), and removed again
// with what was written in it when the work fails.
imaging::Error Snapshots(const std::string& input, const std::string& shownInput, const std::string& dir,
                         const imaging::OutputFolder& parent, const imaging::ResizeRequest& resize,
                         const Switches& switches, ProgressBar& bar, const std::string& detail)
{
    imaging::Error error;
    if (!HasInputName(input, &error))
        return error;
    ChoosingOptions options;
    options.switches = switches;
    options.resize = resize;
    options.cancelled = Interrupted;
    options.progress = [&](double percent) {
        // The pipeline reports snapshots from 50 to 100; here they are the whole job.
        bar.update((percent - 50.0) * 2.0, detail);
        return !error;
    };
    std::optional<ContactSheet> sheet;
    imaging::OutputFolder folder;
    OpenedForChoosing opened;
    imaging::Error failure;
    const bool rendered = OpenForChoosing(
        input, options,
        [&](int variant, const Picture& snapshot) {
            if (!sheet) {
                const bool made = parent.held ? imaging::OpenOutputFolder(
                                      parent, std::filesystem::path(dir).filename().string(), &folder, &error)
                                              : imaging::OpenOutputFolder(dir, &folder, &error);
                if (!made)
                    return;
                const std::string title =
                    "Snapshots of " + std::filesystem::path(shownInput).filename().string() + ", frame 1";
                sheet.emplace(opened.frame1.width(), opened.frame1.height(), title);
                sheet->place(ContactSheet::kCells - 1, opened.frame1, "Source");
            }
            if (error)
                return;
            imaging::WritePng(folder, VariantPngName(variant), ViewOf(snapshot), &error);
            const std::string label = std::to_string(variant) + " " + std::string(kVariants[variant].name);
            sheet->place(variant, snapshot, label);
        },
        &opened, &failure);
    if (opened.damage)
        bar.print("warning: " + imaging::Printable(shownInput + ": " + opened.damage.message()));
    if (!error && !rendered) {
        error = failure;
        if (failure.kind == imaging::ErrorKind::Cancelled)
            imaging::Fail(&error, imaging::ErrorKind::Cancelled, dir, "interrupted");
    }
    if (!error)
        imaging::WritePng(folder, "sheet.png", ViewOf(sheet->picture()), &error);
    if (error)
        imaging::RemoveMadeFolder(folder, SnapshotName);
    return error;
}

} // namespace

int RunSnapshots(const SnapshotArgs& args)
{
    Plan plan;
    if (std::string problem = MakePlan(args, "", &plan); !problem.empty())
        return UsageError(problem);
    for (const Job& job : plan.jobs)
        if (std::string problem = FolderOverInput(job.input, job.output, SnapshotName); !problem.empty())
            return UsageError(problem);
    imaging::Error error;
    imaging::OutputFolder outDir;
    if (args.outDir && !imaging::OpenOutputFolder(*args.outDir, &outDir, &error))
        return Report(error);
    StandardStreams streams;
    const bool batch = plan.jobs.size() > 1;
    ProgressBar bar("snapshots", args.quiet);
    Tally tally;
    for (std::size_t i = 0; i < plan.jobs.size() && !Interrupted(); ++i) {
        const Job& job = plan.jobs[i];
        std::string input;
        if (streams.readInput(job.input, &input, &error)) {
            const std::string detail =
                batch ? "file " + std::to_string(i + 1) + "/" + std::to_string(plan.jobs.size())
                      : std::string();
            const std::string shown = job.input == "-" ? std::string(kStandardInput) : job.input;
            try {
                error = Snapshots(input, shown, job.output, outDir, plan.resize, args.switches, bar, detail);
            } catch (...) {
                error = imaging::CaughtError(input);
            }
            streams.renameInError(error);
        }
        int code = kExitOk;
        if (error) {
            bar.finish();
            code = Report(error);
        }
        tally.record(code);
    }
    return tally.finish(bar, "made snapshots of", plan.jobs.size(), args.quiet);
}

} // namespace qf::cli
