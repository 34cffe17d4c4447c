// quillframe-cli: the command line over the frame pipeline. Parses the
// command line, runs one command and turns its outcome into an exit code.

#include "commands.h"
#include "engine/variants.h"
#include "version.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

using namespace qf::cli;

std::string VariantHelp()
{
    std::string text = "Variants (--variant N):\n";
    for (int v = 0; v < qf::kVariantCount; ++v) {
        const qf::VariantInfo& info = qf::kVariants[v];
        text += (v < 10 ? "   " : "  ") + std::to_string(v) + "  " + std::string(info.name) + ": "
                + std::string(info.description) + "\n";
    }
    return text;
}

std::string SwitchHelp()
{
    std::string text = "Switches (the window's five check boxes; the defaults are its start-up states):\n";
    for (const qf::SwitchInfo& info : qf::kSwitches) {
        std::string flag(info.flag);
        flag.resize(16, ' ');
        text += "  " + flag + " \"" + std::string(info.label) + "\", "
                + (info.onByDefault ? "on" : "off") + " by default: " + std::string(info.help) + "\n";
    }
    return text;
}

const char* const kExitHelp =
    "Exit status: 0 done; 1 other failure; 2 bad command line; 3 input missing,\n"
    "unreadable, not a GIF, corrupt or too large (for the limits or for the free memory);\n"
    "4 output cannot be written; 5 interrupted (Ctrl-C or a kill). An existing output\n"
    "file is only ever replaced by a complete new one.\n";

void AddSwitches(CLI::App* command, qf::Switches& switches)
{
    for (const qf::SwitchInfo& info : qf::kSwitches) {
        const int value = info.onByDefault ? 0 : 1;
        command->add_flag_callback(std::string(info.flag),
                                   [&switches, &info, value] { switches.*info.member = value; },
                                   std::string(info.help));
    }
}

} // namespace

static int RunCommandLine(int argc, char** argv)
{
    CLI::App app{"Quillframe turns an animated GIF into a hand-drawn looking animated GIF:\n"
                 "pencil sketches, dotted sketches, flat-colour cartoons and tinted, posterised\n"
                 "or high-contrast variants of every frame (17 variants).",
                 "quillframe-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quillframe-cli (Quillframe) ") + qf::kVersion + "\n"
                                          + qf::kVersionNotice);
    const std::string footer = "\n" + VariantHelp() + "\n" + SwitchHelp() + "\n" + kExitHelp;
    app.footer(footer);

    ConvertArgs convert;
    CLI::App* convertCommand = app.add_subcommand(
        "convert",
        "Render every frame of IN.gif with one variant and write the\n"
        "animation to OUT.gif with the source's frame delays and loop\n"
        "count. A still GIF (one frame) is accepted too and gives a\n"
        "one-frame sketch.");
    convertCommand->add_option("input", convert.input, "The GIF to convert (IN.gif)")->required();
    convertCommand->add_option("output", convert.output, "The GIF to write (OUT.gif); replaced when complete")
        ->required();
    convertCommand->add_option("-v,--variant", convert.variant, "Effect variant, 0-16 (default 0)")
        ->check(CLI::Range(0, qf::kVariantCount - 1));
    AddSwitches(convertCommand, convert.switches);
    convertCommand->add_option("-j,--threads", convert.threads, "Worker threads, 1-256 (default: all cores)")
        ->check(CLI::Range(0, 256));
    convertCommand->add_option("--png-frames", convert.pngFramesDir,
                               "Also write each rendered frame, before colour reduction, as\n"
                               "DIR/frame-0001.png, ...");
    convertCommand->add_flag("-q,--quiet", convert.quiet, "No progress bar");
    convertCommand->footer(footer);

    SnapshotArgs snapshots;
    CLI::App* snapshotsCommand = app.add_subcommand(
        "snapshots",
        "Render frame 1 of IN.gif in all 17 variants into DIR as\n"
        "variant-00.png ... variant-16.png, plus sheet.png, a labelled\n"
        "contact sheet of all of them for choosing at a glance. Stills\n"
        "are accepted.");
    snapshotsCommand->add_option("input", snapshots.input, "The GIF (IN.gif)")->required();
    snapshotsCommand->add_option("dir", snapshots.dir, "Folder for the pictures (created if missing)")
        ->required();
    AddSwitches(snapshotsCommand, snapshots.switches);
    snapshotsCommand->add_flag("-q,--quiet", snapshots.quiet, "No progress bar");
    snapshotsCommand->footer(footer);

    FramesArgs frames;
    CLI::App* framesCommand = app.add_subcommand(
        "frames",
        "Write the decoded frames of IN.gif, composited exactly as the\n"
        "converter sees them, as RGBA PNG files DIR/frame-0001.png, ...");
    framesCommand->add_option("input", frames.input, "The GIF (IN.gif)")->required();
    framesCommand->add_option("dir", frames.dir, "Folder for the pictures (created if missing)")->required();
    framesCommand->add_flag("-q,--quiet", frames.quiet, "No progress bar");
    framesCommand->footer(kExitHelp);

    std::string infoInput;
    CLI::App* infoCommand =
        app.add_subcommand("info", "Print the size, frame count, frame delays and loop count\nof IN.gif.");
    infoCommand->add_option("input", infoInput, "The GIF (IN.gif)")->required();
    infoCommand->footer(kExitHelp);

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
    } catch (const std::bad_alloc&) {
        // Only a GIF too large for this machine gets this far: name it.
        const std::string& input = *convertCommand ? convert.input
            : *snapshotsCommand                    ? snapshots.input
            : *framesCommand                       ? frames.input
                                                   : infoInput;
        std::cerr << "error: " << input << ": not enough memory to process this GIF\n";
        return kExitBadInput;
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        return kExitFailed;
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
