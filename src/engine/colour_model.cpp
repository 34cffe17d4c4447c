#include "colour_model.h"

#include "rounding.h"

namespace qf {

namespace {

// Stores a value computed in double precision as a single.
inline float Single(double v)
{
    return static_cast<float>(v);
}

// The largest / smallest of three values; always one of the inputs, bit for
// bit, so the hue can compare a channel with them for equality.
float MaxOfThree(float a, float b, float c)
{
    if (a > b) {
        return a > c ? a : c;
    }
    return c > b ? c : b;
}

float MinOfThree(float a, float b, float c)
{
    if (a < b) {
        return a < c ? a : c;
    }
    return c < b ? c : b;
}

} // namespace

void RgbToHsl(int red, int green, int blue, float& hue, float& saturation, float& lightness)
{
    const float r = Single(red / 255.0);
    const float g = Single(green / 255.0);
    const float b = Single(blue / 255.0);
    const float mx = MaxOfThree(r, g, b);
    const float mn = MinOfThree(r, g, b);
    const double dmx = mx;
    const double dmn = mn;

    lightness = Single((dmx + dmn) / 2.0);
    if (mx == mn) {
        saturation = 0.0f;
        hue = 0.0f;
        return;
    }
    if (lightness <= 0.5f) {
        saturation = Single((dmx - dmn) / (dmx + dmn));
    } else {
        saturation = Single((dmx - dmn) / (2.0 - dmx - dmn));
    }

    const double d = Single(dmx - dmn);
    // On a tie for the maximum red wins over green and blue, green over blue.
    if (r == mx) {
        hue = Single((static_cast<double>(g) - b) / d);
    } else if (g == mx) {
        hue = Single(2.0 + (static_cast<double>(b) - r) / d);
    } else {
        hue = Single(4.0 + (static_cast<double>(r) - g) / d);
    }
}

void HslToRgb(float hue, float saturation, float lightness, int& red, int& green, int& blue)
{
    float r;
    float g;
    float b;
    if (saturation == 0.0f) {
        r = g = b = lightness;
    } else {
        const double l = lightness;
        const double s = saturation;
        const float m1 = lightness <= 0.5f ? Single((1.0 - s) * l) : Single(l - (1.0 - l) * s);
        const float m2 = Single(2.0 * l - m1);
        const double lo = m1;
        const double span = static_cast<double>(m2) - lo;
        const double h = hue;
        if (hue < 1.0f) {
            r = m2;
            if (hue < 0.0f) {
                g = m1;
                b = Single(lo - span * h);
            } else {
                b = m1;
                g = Single(lo + span * h);
            }
        } else if (hue < 3.0f) {
            g = m2;
            if (hue < 2.0f) {
                b = m1;
                r = Single(lo - (h - 2.0) * span);
            } else {
                r = m1;
                b = Single(lo + (h - 2.0) * span);
            }
        } else {
            b = m2;
            if (hue < 4.0f) {
                r = m1;
                g = Single(lo - (h - 4.0) * span);
            } else {
                g = m1;
                r = Single(lo + (h - 4.0) * span);
            }
        }
    }
    red = RoundHalfEven(static_cast<double>(r) * 255.0);
    green = RoundHalfEven(static_cast<double>(g) * 255.0);
    blue = RoundHalfEven(static_cast<double>(b) * 255.0);
}

} // namespace qf
