// The style controls turned into the thresholds of a run. Each control is
// 0-100 with the effect as designed at its middle (kDesignedStyle); either
// half of the range moves a threshold from its start-up value to the value
// at that end, rounded half to even.
#include "stages.h"

#include "rounding.h"

#include <algorithm>

namespace qf {

namespace {

// Ink 0: no tone is dark enough to turn to ink, only outlines are drawn.
// Ink 100: every tone below this grey becomes ink.
constexpr int kFullInkDarkLimit = 160;
// Lines 0: only colour steps of more than this many levels draw a line, and
// only where a pixel has kFewestLinesVotes such neighbours.
constexpr int kFewestLinesColourStep = 48;
constexpr int kFewestLinesVotes = 2;
// Lines 100: colour steps of more than this draw a line.
constexpr int kMostLinesColourStep = 18;

// The value at control 0, at kDesignedStyle (designed) and at 100, for a
// control value clamped to 0-100.
int Turn(int control, int atZero, int designed, int atHundred)
{
    control = std::clamp(control, 0, 100);
    if (control == kDesignedStyle) {
        return designed;
    }
    const int end = control < kDesignedStyle ? atZero : atHundred;
    const int distance = control < kDesignedStyle ? kDesignedStyle - control : control - kDesignedStyle;
    const int span = control < kDesignedStyle ? kDesignedStyle : 100 - kDesignedStyle;
    return designed + RoundHalfEven(static_cast<double>(end - designed) * distance / span);
}

} // namespace

StyleThresholds ThresholdsFor(const EngineSettings& settings, const Switches& switches)
{
    StyleThresholds t;
    // Below the middle the dark limit falls with the square of the ink: the
    // tones of footage crowd in the shadows, and a quarter of the ink should
    // leave only the deepest of them (70 at 50, 18 at 25, 3 at 10).
    const int ink = std::clamp(switches.Ink, 0, 100);
    t.darkLimit = ink >= kDesignedStyle
                      ? Turn(ink, 0, settings.DarkLimit, std::max(kFullInkDarkLimit, settings.DarkLimit))
                      : RoundHalfEven(static_cast<double>(settings.DarkLimit) * ink * ink
                                      / (kDesignedStyle * kDesignedStyle));
    t.inkShift = t.darkLimit - settings.DarkLimit;
    t.colorDiffLimit = Turn(switches.Lines, std::max(kFewestLinesColourStep, settings.ColorDiffLimit),
                            settings.ColorDiffLimit, std::min(kMostLinesColourStep, settings.ColorDiffLimit));
    t.edgeVoteMin =
        Turn(std::min(switches.Lines, kDesignedStyle), std::max(kFewestLinesVotes, settings.EdgeVoteMin),
             settings.EdgeVoteMin, settings.EdgeVoteMin);
    return t;
}

} // namespace qf
