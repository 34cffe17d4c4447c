#include "exit_codes.h"

namespace qf::cli {

std::string ExitStatusHelp()
{
    std::string text = "Exit status:";
    for (const ExitCodeInfo& info : kExitCodes)
        text += std::string(info.code == kExitOk ? " " : "; ") + std::to_string(info.code) + " "
                + std::string(info.meaning);
    return text
           + ". With several inputs, each failure is reported and the others go on; the status is the worst "
             "one. An existing output file is only ever replaced by a complete new one.";
}

} // namespace qf::cli
