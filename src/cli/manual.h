// Plain listings the manual page is made from (scripts/make-manpage.py), so
// that it takes each option and exit code whole rather than cutting the
// help's columns apart.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>

namespace qf::cli {

// "options": one line per option of any command, once, as
// "SPELLINGS<tab>VALUE<tab>DESCRIPTION<tab>COMMANDS" (COMMANDS is "all
// commands" or a comma-separated list). "exit-status": one line per exit
// code, "CODE<tab>MEANING<tab>MORE". Empty for anything else.
std::string ManualListing(const CLI::App& app, std::string_view what);

} // namespace qf::cli
