// Shell completion scripts for bash, zsh and fish, written from the command
// line's own parser: its subcommands, their options and the words their
// values take.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qf::cli {

struct CompletionTables {
    // The file name extensions the commands read, without the dot.
    std::vector<std::string> inputExtensions;
    // The words an option takes, with a short description each, by the
    // option's value name (e.g. "VARIANT"). Options whose value name is DIR
    // complete folders; positionals complete input files and folders.
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> choices;
    // A few words on each subcommand, by name, for the shells that show them.
    std::map<std::string, std::string> summaries;
};

// The script for shell ("bash", "zsh" or "fish"); empty for another shell.
std::string CompletionScript(const CLI::App& app, std::string_view shell, const CompletionTables& tables);

} // namespace qf::cli
