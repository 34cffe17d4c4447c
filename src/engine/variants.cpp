#include "variants.h"

namespace qf {

const std::array<VariantInfo, kVariantCount> kVariants = {{
    {"Line sketch", "Black pencil lines on white paper"},
    {"Stucki dots", "The sketched frame as black and white dots"},
    {"Pencil on paper", "Pencil lines on a grainy paper texture"},
    {"Vivid colour", "Bright, saturated colours with sketch lines"},
    {"Vivid colour with dots", "Bright, saturated colours under a layer of dots"},
    {"Colour sketch", "Sketch lines over flat cartoon colours (or the frame's own colours)"},
    {"Colour sketch with dots", "Sketch lines and dots over flat cartoon colours"},
    {"Sepia tint", "A warm single-hue tint that keeps the lightness"},
    {"Sepia tint with dots", "A warm single-hue tint under a layer of dots"},
    {"Poster", "Two levels per colour channel"},
    {"Poster with dots", "Two levels per colour channel under a layer of dots"},
    {"High contrast", "Mid-tones stretched to hard light and dark"},
    {"High contrast with dots", "Hard light and dark under a layer of dots"},
    {"Eight greys", "The sketched frame in eight grey levels"},
    {"Eight greys with dots", "Eight grey levels under a layer of dots"},
    {"Grey sketch", "The sketched frame in shades of grey"},
    {"Grey sketch with dots", "Shades of grey under a layer of dots"},
}};

const std::array<SwitchInfo, kSwitchCount> kSwitches = {{
    {"Color Sketch", "--color-sketch",
     "Colour instead of grey sketch depth, dots and pencil layer (variant 2)", &Switches::ColorSketch,
     false},
    {"Sharpen", "--sharpen", "Sharpen the finished picture", &Switches::Sharpen, false},
    {"Mix similar color", "--no-mix-color",
     "Merge areas of similar colour into flat cartoon colours under the lines", &Switches::MixColor,
     true},
    {"Adjust sketch depth", "--no-adjust",
     "Darken or lighten lines and dots to follow the frame's shading", &Switches::Adjust, true},
    {"Blur", "--blur", "Soften the finished picture with a 2 x 2 box average (before sharpening)",
     &Switches::Blur, false},
}};

} // namespace qf
