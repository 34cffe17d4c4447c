// quillframe-cli convert: IN OUT, or IN... --out-dir DIR, through the
// pipeline's batch.
#include "commands.h"
#include "common.h"
#include "engine/variants.h"
#include "pipeline/batch.h"
#include "progress_bar.h"
#include "standard_streams.h"

#include <csignal>
#include <filesystem>
#include <string>

namespace qf::cli {

namespace {

// The format of each output: its extension's, else --format's, else GIF.
// Returns what is wrong with the command line, or "".
std::string ChooseFormats(const ConvertArgs& args, const Plan& plan, std::vector<OutputFormat>* formats)
{
    std::optional<OutputFormat> requested;
    if (args.format)
        requested = *args.format == "webp" ? OutputFormat::Webp : OutputFormat::Gif;
    for (const Job& job : plan.jobs) {
        const std::string extension = job.output == "-" ? std::string() : ExtensionOf(job.output);
        OutputFormat format = requested.value_or(OutputFormat::Gif);
        if (extension == ".gif" || extension == ".webp") {
            format = extension == ".gif" ? OutputFormat::Gif : OutputFormat::Webp;
            if (requested && *requested != format)
                return job.output + " ends in " + extension + " but --format is " + *args.format;
        } else if (!extension.empty()) {
            return job.output + ": cannot write " + extension
                   + " files; the output must end in .gif or .webp (or name none and give --format)";
        }
        if (args.quality && format != OutputFormat::Webp)
            return "--quality sets lossy WebP output; " + job.output + " is written as a GIF";
        formats->push_back(format);
    }
    return {};
}

std::string ExtensionFor(OutputFormat format)
{
    return format == OutputFormat::Webp ? ".webp" : ".gif";
}

} // namespace

int RunConvert(const ConvertArgs& args)
{
    const std::optional<int> variant = VariantFromText(args.variant);
    if (!variant) {
        std::string names;
        for (int v = 0; v < kVariantCount; ++v)
            names += (v ? ", " : "") + VariantSlug(v);
        return UsageError("--variant: '" + args.variant + "' is no variant; give 0-" + std::to_string(kLastVariant)
                          + " or one of: " + names);
    }
    const bool webpBatch = args.format && *args.format == "webp";
    Plan plan;
    if (std::string problem = MakePlan(args, webpBatch ? ".webp" : ".gif", &plan); !problem.empty())
        return UsageError(problem);
    std::vector<OutputFormat> formats;
    if (std::string problem = ChooseFormats(args, plan, &formats); !problem.empty())
        return UsageError(problem);

    imaging::Error error;
    imaging::OutputFolder outDir;
    if (args.outDir && !imaging::OpenOutputFolder(*args.outDir, &outDir, &error))
        return Report(error);
    StandardStreams streams;
    const bool batch = plan.jobs.size() > 1;
    std::vector<BatchJob> jobs;
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        const Job& job = plan.jobs[i];
        BatchJob& converted = jobs.emplace_back();
        converted.input = job.input;
        converted.output = job.output;
        converted.format = formats[i];
        if (!streams.readInput(job.input, &converted.input, &error))
            return Report(error);
        // The result bound for standard output is written to a file first.
        if (job.output == "-" && !streams.outputFile(ExtensionFor(formats[i]), &converted.output, &error))
            return Report(error);
        // Several inputs get a frame folder each, named like their results.
        if (args.pngFramesDir)
            converted.pngFramesDir =
                batch ? (std::filesystem::path(*args.pngFramesDir)
                         / imaging::FolderNameFor(std::filesystem::path(job.output).stem().string()))
                            .string()
                      : *args.pngFramesDir;
    }
    if (plan.writesStandardOutput)
        std::signal(SIGPIPE, SIG_IGN); // a closed pipe is reported as a write error

    ProgressBar bar("converting", args.quiet);
    Tally tally;

    BatchOptions options;
    options.convert.variant = *variant;
    options.convert.switches = args.switches;
    options.convert.threads = args.threads;
    options.convert.resize = plan.resize;
    options.convert.keepTransparency = args.keepTransparency;
    options.convert.output.quality = args.quality.value_or(-1);
    options.convert.cancelled = Interrupted;
    options.progress = [&](const BatchProgress& at) {
        const std::string detail = batch ? "files " + std::to_string(at.filesDone) + "/"
                                               + std::to_string(at.fileCount) + ", frames "
                                               + std::to_string(at.framesDone) + "/"
                                               + std::to_string(at.totalFrames)
                                         : "frame " + std::to_string(at.jobFrame) + "/"
                                               + std::to_string(at.jobFrames);
        bar.update(at.percent(), detail);
        return !Interrupted();
    };
    options.deliver = [&](std::size_t i, imaging::Error* failure) {
        return plan.jobs[i].output != "-" || streams.sendOutput(jobs[i].output, failure);
    };
    options.finished = [&](std::size_t i, const JobOutcome& outcome) {
        const Job& job = plan.jobs[i];
        int code = kExitOk;
        if (!outcome.error) {
            if (outcome.damage)
                bar.print("warning: "
                          + imaging::Printable((job.input == "-" ? std::string(kStandardInput) : job.input)
                                               + ": " + outcome.damage.message()));
        } else {
            imaging::Error error = outcome.error;
            streams.renameInError(error);
            bar.print("error: " + error.message());
            code = ExitCodeFor(error);
        }
        tally.record(code);
    };
    ConvertBatch(jobs, options);
    return tally.finish(bar, "converted", plan.jobs.size(), args.quiet);
}

} // namespace qf::cli
