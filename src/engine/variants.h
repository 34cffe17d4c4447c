// The 17 effect variants and the five switches: one table each, read by the
// engine, the command line's help and flags, and the window's tooltips and
// check boxes.
#pragma once

#include "engine.h"

#include <array>
#include <string_view>

namespace qf {

inline constexpr int kVariantCount = 17;

struct VariantInfo {
    std::string_view name;        // a short title, e.g. "Pencil sketch"
    std::string_view description; // one line: what the variant shows
};

extern const std::array<VariantInfo, kVariantCount> kVariants;

// One switch: the window's check box text, the command line's flag (which
// turns the switch away from its default) and a line of help.
struct SwitchInfo {
    std::string_view label; // the check box text, e.g. "Mix similar color"
    std::string_view flag;  // e.g. "--no-mix-color"
    std::string_view help;  // one line for --help and the window's tooltip
    int Switches::*member;  // the value it sets
    bool onByDefault;       // the start-up state; the flag gives the other one
};

inline constexpr int kSwitchCount = 5;
extern const std::array<SwitchInfo, kSwitchCount> kSwitches;

} // namespace qf
