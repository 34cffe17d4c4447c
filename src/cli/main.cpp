// quillframe-cli: the command line over the frame pipeline. Parses the
// command line, runs one command and turns its outcome into an exit code.

#include "commands.h"
#include "common.h"
#include "completion.h"
#include "engine/variants.h"
#include "imaging/animation_reader.h"
#include "imaging/errors.h"
#include "manual.h"
#include "pipeline/convert.h"
#include "pipeline/options.h"
#include "version.h"

#include <CLI/CLI.hpp>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace {

using namespace qf::cli;

// Help lines end by column 80: the option column, then the descriptions.
constexpr std::size_t kHelpWidth = 79;
constexpr std::size_t kOptionColumn = 26;

// text broken at spaces into lines that end by column width, going on from
// column; each new line starts with indent spaces. Line breaks in text stay.
std::string Wrap(std::string_view text, std::size_t width, std::size_t indent, std::size_t column = 0)
{
    std::string out;
    bool lineStart = true;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find_first_of(" \n", at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (!word.empty()) {
            if (!lineStart && column + 1 + word.size() > width) {
                out += "\n" + std::string(indent, ' ');
                column = indent;
                lineStart = true;
            }
            if (!lineStart) {
                out += ' ';
                ++column;
            }
            out += word;
            column += word.size();
            lineStart = false;
        }
        if (end < text.size() && text[end] == '\n') {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineStart = true;
        }
        at = end + 1;
    }
    return out;
}

std::string VariantHelp()
{
    std::string text = "Variants (--variant N or --variant NAME):\n";
    for (int v = 0; v < qf::kVariantCount; ++v) {
        const qf::VariantInfo& info = qf::kVariants[v];
        std::string head = (v < 10 ? "   " : "  ") + std::to_string(v) + "  " + VariantSlug(v);
        head.resize(std::max<std::size_t>(head.size() + 1, 31), ' ');
        text +=
            head
            + Wrap(std::string(info.name) + ": " + std::string(info.description), kHelpWidth, 31, head.size())
            + "\n";
    }
    return text;
}

// What a switch's flag does: the flag turns the window's check box away from
// its start-up state.
std::string FlagHelp(const qf::SwitchInfo& info)
{
    return "Turn \"" + std::string(info.label) + "\" " + (info.onByDefault ? "off" : "on") + ": "
           + std::string(info.onByDefault ? info.offHelp : info.help);
}

std::string SwitchHelp()
{
    std::string text = "Switches (the window's five check boxes; each flag turns one away from its\n"
                       "start-up state):\n";
    for (const qf::SwitchInfo& info : qf::kSwitches) {
        std::string flag = "  " + std::string(info.flag);
        flag.resize(18, ' ');
        text += flag + Wrap(FlagHelp(info), kHelpWidth, 18, flag.size()) + "\n";
    }
    return text;
}

const char* const kFilesHelp =
    "IN OUT, or IN... with --out-dir DIR. '-' as IN reads standard input, as OUT writes standard output";

// Help that shows each option's value name and nothing of the parser's
// types, requirements or exclusions (those rules are in the descriptions).
class PlainFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override
    {
        const std::string name = option->get_type_name();
        return option->get_type_size() == 0 || name.empty() ? std::string() : " " + name;
    }
};

void AddSwitches(CLI::App* command, qf::Switches& switches)
{
    for (const qf::SwitchInfo& info : qf::kSwitches) {
        const int value = info.onByDefault ? 0 : 1;
        command->add_flag_callback(
            std::string(info.flag), [&switches, &info, value] { switches.*info.member = value; },
            FlagHelp(info));
    }
}

// Where each option of the table keeps its value for one command.
struct Targets {
    std::map<qf::OptionId, std::optional<std::string>*> values;
    std::map<qf::OptionId, bool*> flags;
};

Targets TargetsOf(BatchArgs& args)
{
    using qf::OptionId;
    return {{{OptionId::OutDir, &args.outDir},
             {OptionId::Suffix, &args.suffix},
             {OptionId::MaxSize, &args.maxSize},
             {OptionId::Scale, &args.scale}},
            {{OptionId::Quiet, &args.quiet}}};
}

Targets TargetsOf(ConvertArgs& args)
{
    using qf::OptionId;
    Targets targets = TargetsOf(static_cast<BatchArgs&>(args));
    targets.values.insert({{OptionId::Variant, &args.variant},
                           {OptionId::Format, &args.format},
                           {OptionId::Codec, &args.codec},
                           {OptionId::Quality, &args.quality},
                           {OptionId::Threads, &args.threads},
                           {OptionId::PngFrames, &args.pngFramesDir},
                           {OptionId::Start, &args.start},
                           {OptionId::End, &args.end},
                           {OptionId::Duration, &args.duration},
                           {OptionId::Fps, &args.fps},
                           {OptionId::Speed, &args.speed},
                           {OptionId::MaxBytes, &args.maxBytes}});
    targets.flags.insert({{OptionId::KeepTransparency, &args.keepTransparency},
                          {OptionId::Bounce, &args.bounce},
                          {OptionId::NoAudio, &args.noAudio},
                          {OptionId::MergeRepeats, &args.mergeRepeats},
                          {OptionId::Estimate, &args.estimate}});
    return targets;
}

// The style controls of the table: ink and lines set their switch value,
// the grain its choice.
void AddStyleControl(CLI::App* command, const qf::OptionInfo& row, qf::Switches& switches)
{
    if (row.id == qf::OptionId::Grain) {
        std::vector<std::string> words;
        for (const auto& [word, meaning] : row.choices)
            words.push_back(word);
        command
            ->add_option_function<std::string>(
                row.flag, [&switches](const std::string& word) { switches.StillGrain = word == "still"; },
                row.fullHelp())
            ->type_name(row.valueName)
            ->check(CLI::IsMember(words).description(""));
        return;
    }
    int qf::Switches::*member = row.id == qf::OptionId::Ink ? &qf::Switches::Ink : &qf::Switches::Lines;
    command->add_option(row.flag, switches.*member, row.fullHelp())
        ->type_name(row.valueName)
        ->check(CLI::Range(static_cast<int>(row.min), static_cast<int>(row.max)).description(""));
}

// The options of the table that command takes, in the table's order; the
// switches follow the first option the window shows too.
void AddOptions(CLI::App* command, unsigned commandBit, const Targets& targets, qf::Switches* switches)
{
    for (const qf::OptionInfo& row : qf::Options()) {
        if ((row.commands & commandBit) == 0)
            continue;
        if (row.id == qf::OptionId::Ink || row.id == qf::OptionId::Lines || row.id == qf::OptionId::Grain) {
            if (switches)
                AddStyleControl(command, row, *switches);
            continue;
        }
        if (row.kind == qf::ValueKind::Flag)
            command->add_flag(row.flag, *targets.flags.at(row.id), row.fullHelp());
        else
            command->add_option(row.flag, *targets.values.at(row.id), row.fullHelp())
                ->type_name(row.valueName);
        if (row.id == qf::OptionId::Scale && switches)
            AddSwitches(command, *switches);
    }
}

// "10M", "256K": a size as --max-bytes takes it.
std::string SizeArgument(long long bytes)
{
    return bytes % (1LL << 20) == 0 ? std::to_string(bytes >> 20) + "M" : std::to_string(bytes >> 10) + "K";
}

// The words option values take, and what the commands read, for completion.
CompletionTables Completions()
{
    CompletionTables tables;
    for (const std::string_view extension : qf::imaging::kReadableExtensions)
        tables.inputExtensions.emplace_back(extension);
    auto& variants = tables.choices["VARIANT"];
    for (int v = 0; v < qf::kVariantCount; ++v)
        variants.emplace_back(std::to_string(v), std::string(qf::kVariants[v].name));
    for (int v = 0; v < qf::kVariantCount; ++v)
        variants.emplace_back(VariantSlug(v), std::string(qf::kVariants[v].name));
    for (const qf::OptionInfo& row : qf::Options())
        if (row.kind == qf::ValueKind::Choice)
            tables.choices[row.valueName] = row.choices;
    for (const long long bytes : qf::kFitUnderChoices)
        tables.choices[qf::Option(qf::OptionId::MaxBytes).valueName].emplace_back(SizeArgument(bytes),
                                                                                  qf::DescribeBytes(bytes));
    tables.summaries = {{"convert", "Render an animation with one effect"},
                        {"snapshots", "Render frame 1 in every effect, with a contact sheet"},
                        {"frames", "Write the decoded frames as PNG files"},
                        {"info", "Print the size, frame count, delays and loop count"}};
    return tables;
}

// Every command's and option's description wrapped to end by column 80.
void WrapOptionHelp(CLI::App& app)
{
    auto formatter = std::make_shared<PlainFormatter>();
    formatter->column_width(kOptionColumn);
    app.formatter(formatter);
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->formatter(formatter);
        std::string about = command->get_description();
        std::replace(about.begin(), about.end(), '\n', ' ');
        command->description(Wrap(about, kHelpWidth - kOptionColumn, 0));
        for (CLI::Option* option : command->get_options([](CLI::Option*) { return true; }))
            option->description(Wrap(option->get_description(), kHelpWidth - kOptionColumn, 0));
    }
}

} // namespace

static int RunCommandLine(int argc, char** argv)
{
    const std::string count = std::to_string(qf::kVariantCount), reads(qf::imaging::kReadableKinds);
    const std::string videoSide = std::to_string(qf::kDefaultVideoMaxSide);
    CLI::App app{"Quillframe turns an animated GIF into a hand-drawn looking animated GIF:\n"
                 "pencil sketches, dotted sketches, flat-colour cartoons and tinted, posterised\n"
                 "or high-contrast variants of every frame ("
                     + count + " variants).",
                 "quillframe-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quillframe-cli (Quillframe) ") + qf::kVersion + "\n"
                                          + qf::kVersionNotice);
    const std::string exitHelp = Wrap(ExitStatusHelp(), kHelpWidth, 0) + "\n";
    const std::string footer = "\n" + VariantHelp() + "\n" + SwitchHelp() + "\n" + exitHelp;
    app.footer(footer);

    ConvertArgs convert;
    CLI::App* convertCommand = app.add_subcommand(
        "convert",
        "Render every frame of IN (" + reads
            + ") with one variant and write the animation to OUT with the source's frame delays and "
              "loop count: a GIF, or an animated WebP, an MP4 or a WebM when OUT ends in .webp, .mp4 "
              "or .webm. A still GIF (one frame) is accepted too and gives a one-frame sketch. A video "
              "is shrunk to fit "
            + videoSide + "x" + videoSide
            + " unless --max-size or --scale is given; its GIF or WebP loops forever.");
    convertCommand->add_option("files", convert.files, kFilesHelp)->required()->type_name("");
    AddOptions(convertCommand, qf::kConvertCommand, TargetsOf(convert), &convert.switches);
    convertCommand->footer(footer);

    SnapshotArgs snapshots;
    CLI::App* snapshotsCommand = app.add_subcommand(
        "snapshots", "Render frame 1 of IN in all " + count
                         + " variants into DIR as "
                           "variant-00.png ... variant-"
                         + std::to_string(qf::kLastVariant)
                         + ".png, plus sheet.png, a labelled contact sheet of all of them for "
                           "choosing at a glance. Stills are accepted. With --out-dir, each "
                           "input gets its own folder.");
    snapshotsCommand->add_option("files", snapshots.files, "IN DIR, or IN... with --out-dir DIR")
        ->required()
        ->type_name("");
    AddOptions(snapshotsCommand, qf::kSnapshotsCommand, TargetsOf(snapshots), &snapshots.switches);
    snapshotsCommand->footer(footer);

    FramesArgs frames;
    CLI::App* framesCommand = app.add_subcommand(
        "frames", "Write the decoded frames of IN (" + reads
                      + "), composited exactly as the converter sees them, as RGBA PNG files "
                        "DIR/frame-0001.png, ...");
    framesCommand->add_option("input", frames.input, "IN: the animation or clip ('-' reads standard input)")
        ->required()
        ->type_name("IN");
    framesCommand->add_option("dir", frames.dir, "Folder for the pictures (created if missing)")
        ->required()
        ->type_name("DIR");
    AddOptions(framesCommand, qf::kFramesCommand, {{}, {{qf::OptionId::Quiet, &frames.quiet}}}, nullptr);
    framesCommand->footer(exitHelp);

    std::string infoInput;
    CLI::App* infoCommand = app.add_subcommand(
        "info", "Print the size, frame count, frame delays and loop count of IN (" + reads + ").");
    infoCommand->add_option("input", infoInput, "IN: the animation or clip ('-' reads standard input)")
        ->required()
        ->type_name("IN");
    infoCommand->footer(exitHelp);
    WrapOptionHelp(app);

    // The build writes the shell completions and the manual's listings from
    // these very options.
    if (argc == 3 && std::string_view(argv[1]) == "--completion") {
        const std::string script = CompletionScript(app, argv[2], Completions());
        if (script.empty()) {
            std::cerr << "error: --completion: '" << argv[2] << "' is none of bash, zsh, fish\n";
            return kExitUsage;
        }
        std::cout << script;
        return kExitOk;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--manual") {
        const std::string listing = ManualListing(app, argv[2]);
        if (listing.empty()) {
            std::cerr << "error: --manual: '" << argv[2] << "' is none of options, exit-status\n";
            return kExitUsage;
        }
        std::cout << listing;
        return kExitOk;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "error: " << e.what() << "\nRun 'quillframe-cli --help' for more information.\n";
        return kExitUsage;
    }

    InstallInterruptHandler();
    try {
        if (*convertCommand)
            return RunConvert(convert);
        if (*snapshotsCommand)
            return RunSnapshots(snapshots);
        if (*framesCommand)
            return RunFrames(frames);
        if (*infoCommand)
            return RunInfo(infoInput);
    } catch (...) {
        // Each command names the file it was working on; what gets here is a
        // fault of the program, and no file is blamed for it.
        return Report(qf::imaging::CaughtError(""));
    }
    return kExitUsage;
}

// Frames, samples and the colour quantiser's tables are large blocks that
// a conversion frees and asks for again frame after frame. By default
// malloc gives each block past a threshold pages of its own and hands them
// back when it is freed, so the kernel maps and clears them again every
// time; kept in the heap (blocks up to 32 MB, up to 256 MB free at its top)
// they are reused instead. Measured on 2 cores: --estimate 4-18% less
// processor time, a conversion 2-3%, for 2-3% more peak memory.
static void KeepLargeBlocks()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

int main(int argc, char** argv)
{
    KeepLargeBlocks();
    int code = kExitFailed;
    try {
        code = RunCommandLine(argc, argv);
    } catch (...) {
        // Setting up the options can throw too (out of memory, or a fault of
        // the program); it is reported like any other, not left to abort.
        code = Report(qf::imaging::CaughtError(""));
    }
    // Standard output is buffered when it is not a terminal, so what a
    // command printed may reach it only now. Failing to write it (a full
    // disk, a closed pipe) is a failure of the command, not a silent loss.
    errno = 0;
    std::cout.flush();
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout)
        return code;
    const int reason = errno;
    std::cerr << "error: standard output: cannot be written"
              << (reason != 0 ? std::string(" (") + std::strerror(reason) + ")" : std::string()) << "\n";
    return code == kExitOk ? kExitFailed : code;
}
