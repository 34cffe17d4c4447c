#include "variants.h"

#include <algorithm>

namespace qf {

constexpr std::array<VariantInfo, kVariantCount> kVariants = {{
    {"Line sketch", "Black pencil lines on white paper", BaseLayer::Sketch, false, Stage::Sketch},
    {"Stucki dots", "The sketched frame as black and white dots", BaseLayer::Dots, false, Stage::Dots},
    {"Pencil on paper", "Pencil lines on a grainy paper texture", BaseLayer::Pencil, false, Stage::Sketch},
    {"Vivid colour", "Bright, saturated colours with sketch lines", BaseLayer::Vivid, false,
     Stage::VariantLayer},
    {"Vivid colour with dots", "Bright, saturated colours under a layer of dots", BaseLayer::Vivid, true,
     Stage::VariantLayer},
    {"Colour sketch", "Sketch lines over flat cartoon colours (or the frame's own colours)",
     BaseLayer::SketchOverColor, false, Stage::SketchOverColor},
    {"Colour sketch with dots", "Sketch lines and dots over flat cartoon colours", BaseLayer::SketchOverColor,
     true, Stage::Dots},
    {"Sepia tint", "A warm single-hue tint that keeps the lightness", BaseLayer::Tint, false,
     Stage::VariantLayer},
    {"Sepia tint with dots", "A warm single-hue tint under a layer of dots", BaseLayer::Tint, true,
     Stage::VariantLayer},
    {"Poster", "Two levels per colour channel", BaseLayer::Poster, false, Stage::VariantLayer},
    {"Poster with dots", "Two levels per colour channel under a layer of dots", BaseLayer::Poster, true,
     Stage::VariantLayer},
    {"High contrast", "Mid-tones stretched to hard light and dark", BaseLayer::Contrast, false,
     Stage::VariantLayer},
    {"High contrast with dots", "Hard light and dark under a layer of dots", BaseLayer::Contrast, true,
     Stage::VariantLayer},
    {"Eight greys", "The sketched frame in eight grey levels", BaseLayer::EightGreys, false,
     Stage::VariantLayer},
    {"Eight greys with dots", "Eight grey levels under a layer of dots", BaseLayer::EightGreys, true,
     Stage::VariantLayer},
    {"Grey sketch", "The sketched frame in shades of grey", BaseLayer::Greys, false, Stage::VariantLayer},
    {"Grey sketch with dots", "Shades of grey under a layer of dots", BaseLayer::Greys, true,
     Stage::VariantLayer},
}};

// A run goes exactly as far as the stage that makes its variant's base
// layer, or the dots when the variant shows them: a later stage would
// overwrite DitherLayer or TintLayer, which runs leave for the next ones.
constexpr bool StopsWhereItShould(const VariantInfo& v)
{
    const Stage makesBase = v.base == BaseLayer::Sketch || v.base == BaseLayer::Pencil ? Stage::Sketch
                            : v.base == BaseLayer::SketchOverColor ? Stage::SketchOverColor
                            : v.base == BaseLayer::Dots            ? Stage::Dots
                                                                   : Stage::VariantLayer;
    return v.lastStage == std::max(makesBase, v.dots ? Stage::Dots : Stage::Sketch);
}
static_assert(std::all_of(kVariants.begin(), kVariants.end(), StopsWhereItShould));

constexpr std::array<SwitchInfo, kSwitchCount> kSwitches = {{
    {"Color Sketch", "--color-sketch",
     "Colour instead of grey sketch depth, dots and pencil layer (variant 2)", "", &Switches::ColorSketch,
     false},
    {"Sharpen", "--sharpen", "Sharpen the finished picture", "", &Switches::Sharpen, false},
    {"Mix similar color", "--no-mix-color",
     "Merge areas of similar colour into flat cartoon colours under the lines",
     "Draw the lines over the frame's own colours, not flat cartoon colours", &Switches::MixColor, true},
    {"Adjust sketch depth", "--no-adjust", "Darken or lighten lines and dots to follow the frame's shading",
     "Keep lines and dots solid black, not shaded after the frame", &Switches::Adjust, true},
    {"Blur", "--blur", "Soften the finished picture with a 2 x 2 box average (before sharpening)", "",
     &Switches::Blur, false},
}};

// A flag that turns a switch off says what that does, not what the switch does.
static_assert(std::all_of(kSwitches.begin(), kSwitches.end(),
                          [](const SwitchInfo& s) { return s.onByDefault != s.offHelp.empty(); }));

constexpr std::array<StyleControlInfo, kStyleControlCount> kStyleControls = {{
    {"Ink", "--ink",
     "How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest "
     "shadows, higher fills more",
     &Switches::Ink},
    {"Lines", "--lines",
     "How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher "
     "more detail",
     &Switches::Lines},
}};

} // namespace qf
