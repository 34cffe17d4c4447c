// The 17 effect variants: one table read by the command line's help and by
// the window's tooltips.
#pragma once

#include <array>
#include <string_view>

namespace qf {

inline constexpr int kVariantCount = 17;

struct VariantInfo {
    std::string_view name;        // a short title, e.g. "Pencil sketch"
    std::string_view description; // one line: what the variant shows
};

extern const std::array<VariantInfo, kVariantCount> kVariants;

} // namespace qf
