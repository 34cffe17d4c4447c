// A tiny built-in 5 x 7 pixel font for labelling pictures (the contact sheet
// of snapshots), so that no font library or font file is needed. It knows
// upper-case letters, digits and common punctuation; lower case is drawn as
// upper case and anything else as '?'.
#pragma once

#include "picture.h"

#include <cstdint>
#include <string_view>

namespace qf {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6; // one blank column between letters

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
};

// Width in pixels of text drawn at scale (no trailing blank column).
int TextWidth(std::string_view text, int scale);

// Draws text with its top-left corner at (x, y) (y counted from the top row),
// each font pixel a scale x scale square, clipped to the picture.
void DrawText(Picture& canvas, int x, int y, std::string_view text, int scale, Colour colour);

} // namespace qf
