// The exit codes of quillframe-cli and what each means, written once: the
// help, the manual page and the README's list are made or checked from
// kExitCodes.
#pragma once

#include <string>
#include <string_view>

namespace qf::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitBadInput = 3,
    kExitBadOutput = 4,
    kExitInterrupted = 5,
};

struct ExitCodeInfo {
    ExitCode code;
    std::string_view meaning; // as the help's one-line list gives it
    std::string_view more;    // the manual's further words, or empty
};

inline constexpr ExitCodeInfo kExitCodes[] = {
    {kExitOk, "done", ""},
    {kExitFailed, "other failure", "A failure of the program itself, or of writing standard output."},
    {kExitUsage, "bad command line",
     "An unknown option or variant, a value that is no number or is out of its range (NaN and infinities "
     "included), an output extension other than .gif or .webp, two inputs with one output: nothing is "
     "written."},
    {kExitBadInput, "input missing, unreadable, not a GIF, animated WebP or video clip, corrupt or too large",
     "Too large is beyond the program's limits, or more than the free memory holds."},
    {kExitBadOutput, "output cannot be written",
     "Also past a file size limit (ulimit -f), which is reported."},
    {kExitInterrupted, "interrupted",
     "Stopped by Ctrl-C, or a kill with SIGTERM or SIGHUP; the outputs being written are left as they were."},
};

// "Exit status: 0 done; 1 other failure; ...", then how several inputs and
// existing outputs fare; lines end by column 80.
std::string ExitStatusHelp();

} // namespace qf::cli
