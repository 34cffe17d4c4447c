// Conversion of one pixel between red/green/blue (0..255) and hue,
// saturation and lightness in single precision.
//
// Hue is measured in sextants (one unit is 60 degrees) and is never wrapped:
// RgbToHsl gives -1 <= hue < 5 (red maximum: -1..1, green: 1..3, blue: 3..5)
// and HslToRgb reads the same scale. Every named intermediate is stored as a
// float; each formula is evaluated in double precision before being stored.
#pragma once

namespace qf {

void RgbToHsl(int red, int green, int blue, float& hue, float& saturation, float& lightness);
// The results are rounded half to even and not clamped.
void HslToRgb(float hue, float saturation, float lightness, int& red, int& green, int& blue);

} // namespace qf
