// quillframe-cli: the command line over the frame pipeline. Parses the
// command line, runs one command and turns its outcome into an exit code.

#include "commands.h"
#include "engine/variants.h"

#include <CLI/CLI.hpp>

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

const char* const kSwitchHelp =
    "Switches (the window's five check boxes; the defaults are its start-up states):\n"
    "  --color-sketch   \"Color Sketch\", off by default: the sketch depth, the dots and the\n"
    "                   pencil layer (variant 2) keep the frame's colours instead of grey\n"
    "  --sharpen        \"Sharpen\", off by default: sharpens the finished picture\n"
    "  --blur           \"Blur\", off by default: softens the finished picture with a 2 x 2\n"
    "                   box average (before sharpening when both are on)\n"
    "  --no-mix-color   \"Mix similar color\" is on by default: areas of similar colour are\n"
    "                   merged into flat cartoon colours under the lines; this turns it off\n"
    "                   and the lines are drawn over the frame's own colours\n"
    "  --no-adjust      \"Adjust sketch depth\" is on by default: lines and dots are darkened\n"
    "                   or lightened to follow the frame's shading; this turns it off\n";

const char* const kExitHelp =
    "Exit status: 0 done; 1 other failure; 2 bad command line; 3 input missing,\n"
    "unreadable, not a GIF, corrupt or too large (for the limits or for the free memory);\n"
    "4 output cannot be written; 5 interrupted (Ctrl-C or a kill). An existing output\n"
    "file is only ever replaced by a complete new one.\n";

void AddSwitches(CLI::App* command, qf::Switches& switches)
{
    command->add_flag_callback("--color-sketch", [&switches] { switches.ColorSketch = 1; },
                               "Colour instead of grey sketch depth, dots and pencil layer");
    command->add_flag_callback("--sharpen", [&switches] { switches.Sharpen = 1; },
                               "Sharpen the finished picture");
    command->add_flag_callback("--blur", [&switches] { switches.Blur = 1; },
                               "Blur the finished picture (2 x 2 box)");
    command->add_flag_callback("--no-mix-color", [&switches] { switches.MixColor = 0; },
                               "Turn off mixing of similar colours");
    command->add_flag_callback("--no-adjust", [&switches] { switches.Adjust = 0; },
                               "Turn off the sketch depth adjustment");
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Quillframe turns an animated GIF into a hand-drawn looking animated GIF:\n"
                 "pencil sketches, dotted sketches, flat-colour cartoons and tinted, posterised\n"
                 "or high-contrast variants of every frame (17 variants).",
                 "quillframe-cli"};
    app.require_subcommand(1);
    const std::string footer = "\n" + VariantHelp() + "\n" + kSwitchHelp + "\n" + kExitHelp;
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
