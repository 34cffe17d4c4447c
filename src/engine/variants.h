// The 17 effect variants and the five switches: one table each, read by the
// engine, the command line's help and flags, and the window's tooltips and
// check boxes.
#pragma once

#include "engine.h"

#include <array>
#include <string_view>

namespace qf {

inline constexpr int kVariantCount = 17;
// The last variant number, as the help texts name the range ("0-16").
inline constexpr int kLastVariant = kVariantCount - 1;

// The picture a variant shows, one of the engine's layers.
enum class BaseLayer {
    Sketch,          // SketchLayer
    Dots,            // DitherLayer
    Pencil,          // PencilLayer
    Vivid,           // VividLayer
    SketchOverColor, // SketchOverColor
    Tint,            // TintLayer
    Poster,          // PosterLayer
    Contrast,        // ContrastLayer
    EightGreys,      // SketchGray8Plane, a grey plane
    Greys,           // SketchGrayPlane, a grey plane
};

// The stages of an engine run in their order. A run stops after the last
// stage its variant needs.
enum class Stage {
    Sketch,          // the line sketch, its depth and the pencil layer
    SketchOverColor, // SketchOverColor, mixed or plain
    Dots,            // DitherLayer and its depth
    VariantLayer,    // the variant's own layer, derived from SketchOverColor
};

struct VariantInfo {
    std::string_view name;        // a short title, e.g. "Pencil sketch"
    std::string_view description; // one line: what the variant shows
    BaseLayer base;
    bool dots;       // the dark dots of DitherLayer drawn over the base
    Stage lastStage; // where the engine run for this variant stops
};

extern const std::array<VariantInfo, kVariantCount> kVariants;

// One switch: the window's check box text, the command line's flag (which
// turns the switch away from its default) and two lines of help.
struct SwitchInfo {
    std::string_view label;   // the check box text, e.g. "Mix similar color"
    std::string_view flag;    // e.g. "--no-mix-color"
    std::string_view help;    // what the switch does when on: the window's tooltip
    std::string_view offHelp; // for a switch that is on by default, what its flag (turning it
                              // off) does; empty for the others, whose flag does what help says
    int Switches::*member;    // the value it sets
    bool onByDefault;         // the start-up state; the flag gives the other one
};

inline constexpr int kSwitchCount = 5;
extern const std::array<SwitchInfo, kSwitchCount> kSwitches;

// A style control: the window's slider and the command line's "--flag N",
// 0-100 with the effect as designed at kDesignedStyle.
struct StyleControlInfo {
    std::string_view label; // the slider's caption, e.g. "Ink"
    std::string_view flag;  // e.g. "--ink"
    std::string_view help;  // what it turns: the window's tooltip and the command line's help
    int Switches::*member;  // the value it sets
};

inline constexpr int kStyleControlCount = 2;
extern const std::array<StyleControlInfo, kStyleControlCount> kStyleControls;

// The still grain: the window's check box and the command line's
// "--grain still" (against the designed "--grain moving").
inline constexpr std::string_view kStillGrainLabel = "Still grain";
inline constexpr std::string_view kStillGrainHelp =
    "The pencil paper's grain (variant 2) holds still wherever the picture does not change, instead of "
    "changing every three frames";

} // namespace qf
