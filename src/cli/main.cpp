// quillframe-cli: the command line over the frame pipeline. Parses the
// command line, runs one command and turns its outcome into an exit code.

#include "commands.h"
#include "common.h"
#include "completion.h"
#include "engine/variants.h"
#include "imaging/errors.h"
#include "version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
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
        text += head + Wrap(std::string(info.name) + ": " + std::string(info.description), kHelpWidth, 31, head.size())
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

const char* const kExitHelp =
    "Exit status: 0 done; 1 other failure; 2 bad command line; 3 input missing,\n"
    "unreadable, not a GIF, animated WebP or video, corrupt or too large (for the\n"
    "limits or for the free memory); 4 output cannot be written; 5 interrupted\n"
    "(Ctrl-C or a kill). With several inputs, each failure is reported and the\n"
    "others go on; the status is the worst one. An existing output file is only\n"
    "ever replaced by a complete new one.\n";

const char* const kFilesHelp =
    "IN OUT, or IN... with --out-dir DIR. '-' as IN reads standard input, as OUT writes standard output";

void AddSwitches(CLI::App* command, qf::Switches& switches)
{
    for (const qf::SwitchInfo& info : qf::kSwitches) {
        const int value = info.onByDefault ? 0 : 1;
        command->add_flag_callback(
            std::string(info.flag), [&switches, &info, value] { switches.*info.member = value; }, FlagHelp(info));
    }
}

// The options convert and snapshots share: many inputs and resizing.
void AddBatchOptions(CLI::App* command, BatchArgs& args, const char* resultKind)
{
    command
        ->add_option("--out-dir", args.outDir,
                     std::string("Write one ") + resultKind
                         + " per input into DIR (created if missing), named after the input")
        ->type_name("DIR");
    command->add_option("--suffix", args.suffix, "With --out-dir: add TEXT to each result's name (e.g. -sketch)")
        ->type_name("TEXT");
    command
        ->add_option("--max-size", args.maxSize,
                     "Shrink frames to fit within WIDTHxHEIGHT (e.g. 640x480), keeping the aspect ratio, "
                     "before the effect")
        ->type_name("WIDTHxHEIGHT");
    command->add_option("--scale", args.scale, "Resize frames by this factor (e.g. 0.5) before the effect")
        ->type_name("FACTOR");
    AddSwitches(command, args.switches);
    command->add_flag("-q,--quiet", args.quiet, "No progress bar");
}

const std::vector<std::string> kOutputFormats{"gif", "webp", "mp4", "webm"};

// The words option values take, and what the commands read, for completion.
CompletionTables Completions()
{
    CompletionTables tables{{"gif", "webp"}, {}, {}};
    auto& variants = tables.choices["VARIANT"];
    for (int v = 0; v < qf::kVariantCount; ++v)
        variants.emplace_back(std::to_string(v), std::string(qf::kVariants[v].name));
    for (int v = 0; v < qf::kVariantCount; ++v)
        variants.emplace_back(VariantSlug(v), std::string(qf::kVariants[v].name));
    tables.choices["FORMAT"] = {
        {"gif", "GIF animation"}, {"webp", "animated WebP"}, {"mp4", "H.264 video"}, {"webm", "VP9 video"}};
    tables.summaries = {{"convert", "Render an animation with one effect"},
                        {"snapshots", "Render frame 1 in every effect, with a contact sheet"},
                        {"frames", "Write the decoded frames as PNG files"},
                        {"info", "Print the size, frame count, delays and loop count"}};
    return tables;
}

// Every command's and option's description wrapped to end by column 80.
void WrapOptionHelp(CLI::App& app)
{
    app.get_formatter()->column_width(kOptionColumn);
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
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
    const std::string count = std::to_string(qf::kVariantCount), numbers = "0-" + std::to_string(qf::kLastVariant);
    CLI::App app{"Quillframe turns an animated GIF into a hand-drawn looking animated GIF:\n"
                 "pencil sketches, dotted sketches, flat-colour cartoons and tinted, posterised\n"
                 "or high-contrast variants of every frame ("
                     + count + " variants).",
                 "quillframe-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quillframe-cli (Quillframe) ") + qf::kVersion + "\n"
                                          + qf::kVersionNotice);
    const std::string footer = "\n" + VariantHelp() + "\n" + SwitchHelp() + "\n" + kExitHelp;
    app.footer(footer);

    ConvertArgs convert;
    CLI::App* convertCommand =
        app.add_subcommand("convert", "Render every frame of IN (a GIF, an animated WebP or a video\n"
                                      "clip: MP4, MOV, WebM, MKV, AVI, APNG) with one variant and write\n"
                                      "the animation to OUT with the source's frame delays and loop\n"
                                      "count: a GIF, or an animated WebP, an MP4 or a WebM when OUT ends\n"
                                      "so (a clip keeps the sound of the part taken). A still\n"
                                      "GIF (one frame) is accepted too and gives a one-frame sketch. A\n"
                                      "video is shrunk to fit 640x640 unless --max-size or --scale is\n"
                                      "given, and loops forever.");
    convertCommand->add_option("files", convert.files, kFilesHelp)->required()->type_name("FILE");
    convertCommand
        ->add_option("-v,--variant", convert.variant,
                     "Effect variant: " + numbers + " or its name, e.g. pencil-on-paper (default 0)")
        ->type_name("VARIANT");
    AddBatchOptions(convertCommand, convert, "animation");
    convertCommand
        ->add_option("--format", convert.format, "gif, webp, mp4 or webm: the output format when OUT has no such "
                                                 "extension (default gif)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember(kOutputFormats).description(""));
    convertCommand
        ->add_option("--quality", convert.quality,
                     "0-100: lower gives smaller files. GIF: 100 (the default) is near-lossless; WebP: lossy at "
                     "this quality (lossless without it); MP4, WebM: the encoder's rate factor (default 70)")
        ->type_name("Q")
        ->check(CLI::Range(0, 100).description(""));
    convertCommand->add_flag("--keep-transparency", convert.keepTransparency,
                             "Where a source frame is transparent, leave the result transparent too (the effect "
                             "still sees the frame over white)");
    convertCommand
        ->add_option("-j,--threads", convert.threads, "Worker threads, 0-256; 0, the default, uses every core")
        ->type_name("N")
        ->check(CLI::Range(0, 256).description(""));
    convertCommand
        ->add_option("--png-frames", convert.pngFramesDir,
                     "Also write each rendered frame, before colour reduction, as DIR/frame-0001.png, ...")
        ->type_name("DIR");
    convertCommand->add_option("--start", convert.start,
                               "Begin at this time: seconds (12.5) or minutes and seconds (1:02.5)");
    CLI::Option* end = convertCommand->add_option("--end", convert.end, "End at this time (as --start)");
    convertCommand->add_option("--duration", convert.duration, "Take this long from --start (instead of --end)")
        ->excludes(end);
    convertCommand
        ->add_option("--fps", convert.fps,
                     "Sample at this many frames a second, up to 50 (default: a video's own rate up to 25; "
                     "every frame of a GIF or WebP)")
        ->check(CLI::Range(0.1, 50.0));
    convertCommand->add_option("--speed", convert.speed, "Play this many times as fast, 0.25-4 (default 1)")
        ->check(CLI::Range(0.25, 4.0));
    convertCommand->add_flag("--bounce", convert.bounce, "Play forward, then backward (an MP4 or WebM then has no sound)");
    convertCommand->add_flag("--no-audio", convert.noAudio, "An MP4 or WebM without the clip's sound");
    convertCommand->add_flag("--merge-repeats", convert.mergeRepeats,
                             "Make consecutive frames that come out the same one frame (always done for a video)");
    convertCommand
        ->add_option("--max-bytes", convert.maxBytes,
                     "The best-looking output that fits in SIZE bytes: 10M, 8MB, 256K, 500000 (1K = 1024). Lowers "
                     "the quality, then drops frames (keeping the timing), then shrinks the frames")
        ->type_name("SIZE");
    convertCommand->add_flag("--estimate", convert.estimate,
                             "Print the expected size at these settings and what --max-bytes would choose for "
                             "common limits; write nothing");
    convertCommand->footer(footer);

    SnapshotArgs snapshots;
    CLI::App* snapshotsCommand =
        app.add_subcommand("snapshots", "Render frame 1 of IN in all " + count + " variants into DIR as\n"
                                        "variant-00.png ... variant-" + std::to_string(qf::kLastVariant)
                                            + ".png, plus sheet.png, a labelled\n"
                                              "contact sheet of all of them for choosing at a glance. Stills\n"
                                              "are accepted. With --out-dir, each input gets its own folder.");
    snapshotsCommand->add_option("files", snapshots.files, "IN DIR, or IN... with --out-dir DIR")
        ->required()
        ->type_name("FILE");
    AddBatchOptions(snapshotsCommand, snapshots, "folder of pictures");
    snapshotsCommand->footer(footer);

    FramesArgs frames;
    CLI::App* framesCommand =
        app.add_subcommand("frames", "Write the decoded frames of IN (a GIF or an animated WebP),\n"
                                     "composited exactly as the converter sees them, as RGBA PNG\n"
                                     "files DIR/frame-0001.png, ...");
    framesCommand->add_option("input", frames.input, "IN: the GIF or animated WebP ('-' reads standard input)")
        ->required()
        ->type_name("IN");
    framesCommand->add_option("dir", frames.dir, "Folder for the pictures (created if missing)")
        ->required()
        ->type_name("DIR");
    framesCommand->add_flag("-q,--quiet", frames.quiet, "No progress bar");
    framesCommand->footer(kExitHelp);

    std::string infoInput;
    CLI::App* infoCommand = app.add_subcommand(
        "info", "Print the size, frame count, frame delays and loop count of IN\n(a GIF or an animated WebP).");
    infoCommand->add_option("input", infoInput, "IN: the GIF or animated WebP ('-' reads standard input)")
        ->required()
        ->type_name("IN");
    infoCommand->footer(kExitHelp);
    WrapOptionHelp(app);

    // The build writes the shell completions from these very options.
    if (argc == 3 && std::string_view(argv[1]) == "--completion") {
        const std::string script = CompletionScript(app, argv[2], Completions());
        if (script.empty()) {
            std::cerr << "error: --completion: '" << argv[2] << "' is none of bash, zsh, fish\n";
            return kExitUsage;
        }
        std::cout << script;
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

int main(int argc, char** argv)
{
    const int code = RunCommandLine(argc, argv);
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
