// The engine's table texts the window shows (variant names and
// descriptions, switch labels and tooltips), listed for lupdate: the window
// translates them through TableText in these contexts. A test checks that
// every table entry has a translation, so this list follows the tables.
#include <QtGlobal>

namespace {

[[maybe_unused]] const char* const kVariantTexts[] = {
    QT_TRANSLATE_NOOP("qf::Variants", "Line sketch"),
    QT_TRANSLATE_NOOP("qf::Variants", "Black pencil lines on white paper"),
    QT_TRANSLATE_NOOP("qf::Variants", "Stucki dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "The sketched frame as black and white dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Pencil on paper"),
    QT_TRANSLATE_NOOP("qf::Variants", "Pencil lines on a grainy paper texture"),
    QT_TRANSLATE_NOOP("qf::Variants", "Vivid colour"),
    QT_TRANSLATE_NOOP("qf::Variants", "Bright, saturated colours with sketch lines"),
    QT_TRANSLATE_NOOP("qf::Variants", "Vivid colour with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Bright, saturated colours under a layer of dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Colour sketch"),
    QT_TRANSLATE_NOOP("qf::Variants", "Sketch lines over flat cartoon colours (or the frame's own colours)"),
    QT_TRANSLATE_NOOP("qf::Variants", "Colour sketch with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Sketch lines and dots over flat cartoon colours"),
    QT_TRANSLATE_NOOP("qf::Variants", "Sepia tint"),
    QT_TRANSLATE_NOOP("qf::Variants", "A warm single-hue tint that keeps the lightness"),
    QT_TRANSLATE_NOOP("qf::Variants", "Sepia tint with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "A warm single-hue tint under a layer of dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Poster"),
    QT_TRANSLATE_NOOP("qf::Variants", "Two levels per colour channel"),
    QT_TRANSLATE_NOOP("qf::Variants", "Poster with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Two levels per colour channel under a layer of dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "High contrast"),
    QT_TRANSLATE_NOOP("qf::Variants", "Mid-tones stretched to hard light and dark"),
    QT_TRANSLATE_NOOP("qf::Variants", "High contrast with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Hard light and dark under a layer of dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Eight greys"),
    QT_TRANSLATE_NOOP("qf::Variants", "The sketched frame in eight grey levels"),
    QT_TRANSLATE_NOOP("qf::Variants", "Eight greys with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Eight grey levels under a layer of dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Grey sketch"),
    QT_TRANSLATE_NOOP("qf::Variants", "The sketched frame in shades of grey"),
    QT_TRANSLATE_NOOP("qf::Variants", "Grey sketch with dots"),
    QT_TRANSLATE_NOOP("qf::Variants", "Shades of grey under a layer of dots"),
};

[[maybe_unused]] const char* const kSwitchTexts[] = {
    QT_TRANSLATE_NOOP("qf::Switches", "Color Sketch"),
    QT_TRANSLATE_NOOP("qf::Switches",
                      "Colour instead of grey sketch depth, dots and pencil layer (variant 2)"),
    QT_TRANSLATE_NOOP("qf::Switches", "Sharpen"),
    QT_TRANSLATE_NOOP("qf::Switches", "Sharpen the finished picture"),
    QT_TRANSLATE_NOOP("qf::Switches", "Mix similar color"),
    QT_TRANSLATE_NOOP("qf::Switches",
                      "Merge areas of similar colour into flat cartoon colours under the lines"),
    QT_TRANSLATE_NOOP("qf::Switches", "Adjust sketch depth"),
    QT_TRANSLATE_NOOP("qf::Switches", "Darken or lighten lines and dots to follow the frame's shading"),
    QT_TRANSLATE_NOOP("qf::Switches", "Blur"),
    QT_TRANSLATE_NOOP("qf::Switches",
                      "Soften the finished picture with a 2 x 2 box average (before sharpening)"),
    QT_TRANSLATE_NOOP("qf::Switches", "Still grain"),
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one text continued on a second line
    QT_TRANSLATE_NOOP("qf::Switches",
                      "The pencil paper's grain (variant 2) holds still wherever the picture does "
                      "not change, instead of changing every three frames"),
    QT_TRANSLATE_NOOP("qf::Switches", "Ink"),
    QT_TRANSLATE_NOOP("qf::Switches",
                      "How dark a tone must be before it turns to solid ink: lower keeps only the "
                      "outlines and the deepest shadows, higher fills more"),
    QT_TRANSLATE_NOOP("qf::Switches", "Lines"),
    QT_TRANSLATE_NOOP("qf::Switches",
                      "How strong a colour difference must be to draw an outline: lower draws "
                      "fewer, cleaner lines, higher more detail"),
};

} // namespace
