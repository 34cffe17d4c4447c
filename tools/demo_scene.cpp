#include "demo_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

namespace qf::demo {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

struct Point {
    double x, y;
};

constexpr double kStageWidth = 320.0;
constexpr double kStageHeight = 240.0;
constexpr double kTau = 2.0 * std::numbers::pi;

// An RGB canvas addressed in stage coordinates: each shape is filled over the
// pixels whose centres fall inside it.
class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), scaleX_(width / kStageWidth), scaleY_(height / kStageHeight),
          pixels_(static_cast<std::size_t>(width) * height * 3)
    {}

    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

    // Paints colour on every pixel of the stage box x0..x1, y0..y1 whose
    // centre satisfies inside(point).
    template <typename Inside>
    void fill(double x0, double y0, double x1, double y1, Rgb colour, Inside inside)
    {
        const int px0 = std::max(0, static_cast<int>(std::floor(x0 * scaleX_)));
        const int px1 = std::min(width_, static_cast<int>(std::ceil(x1 * scaleX_)) + 1);
        const int py0 = std::max(0, static_cast<int>(std::floor(y0 * scaleY_)));
        const int py1 = std::min(height_, static_cast<int>(std::ceil(y1 * scaleY_)) + 1);
        for (int py = py0; py < py1; ++py) {
            const double y = (py + 0.5) / scaleY_;
            for (int px = px0; px < px1; ++px) {
                const double x = (px + 0.5) / scaleX_;
                if (!inside(Point{x, y}))
                    continue;
                std::uint8_t* p = &pixels_[(static_cast<std::size_t>(py) * width_ + px) * 3];
                p[0] = colour.r;
                p[1] = colour.g;
                p[2] = colour.b;
            }
        }
    }

    void rect(double x0, double y0, double x1, double y1, Rgb colour)
    {
        fill(x0, y0, x1, y1, colour, [&](Point p) { return p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1; });
    }

    void ellipse(double cx, double cy, double rx, double ry, Rgb colour)
    {
        fill(cx - rx, cy - ry, cx + rx, cy + ry, colour, [&](Point p) {
            const double dx = (p.x - cx) / rx;
            const double dy = (p.y - cy) / ry;
            return dx * dx + dy * dy <= 1.0;
        });
    }

    void circle(double cx, double cy, double r, Rgb colour) { ellipse(cx, cy, r, r, colour); }

    // A segment drawn with round ends, half-width w.
    void line(Point a, Point b, double w, Rgb colour)
    {
        fill(std::min(a.x, b.x) - w, std::min(a.y, b.y) - w, std::max(a.x, b.x) + w, std::max(a.y, b.y) + w,
             colour, [&](Point p) {
                 const double vx = b.x - a.x, vy = b.y - a.y;
                 const double length2 = vx * vx + vy * vy;
                 double t = length2 > 0 ? ((p.x - a.x) * vx + (p.y - a.y) * vy) / length2 : 0.0;
                 t = std::clamp(t, 0.0, 1.0);
                 const double dx = p.x - (a.x + t * vx), dy = p.y - (a.y + t * vy);
                 return dx * dx + dy * dy <= w * w;
             });
    }

    void polygon(const std::vector<Point>& points, Rgb colour)
    {
        double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
        for (const Point& p : points) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        fill(x0, y0, x1, y1, colour, [&](Point p) {
            // Even-odd rule.
            bool inside = false;
            for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
                const Point& a = points[i];
                const Point& b = points[j];
                if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
                    inside = !inside;
            }
            return inside;
        });
    }

private:
    int width_, height_;
    double scaleX_, scaleY_;
    std::vector<std::uint8_t> pixels_;
};

constexpr Rgb kSkyTop{52, 118, 214};
constexpr Rgb kSky{176, 218, 248};
constexpr Rgb kCloud{252, 252, 250};
constexpr Rgb kCloudShade{214, 224, 238};
constexpr Rgb kSunRim{255, 150, 30};
constexpr Rgb kSun{255, 214, 50};
constexpr Rgb kFarHill{62, 128, 92};
constexpr Rgb kHill{84, 160, 84};
constexpr Rgb kMeadowBack{112, 184, 64};
constexpr Rgb kMeadow{156, 218, 84};
constexpr Rgb kPath{222, 196, 140};
constexpr Rgb kWall{208, 84, 62};
constexpr Rgb kRoof{96, 52, 40};
constexpr Rgb kChimney{150, 72, 52};
constexpr Rgb kWindow{255, 236, 140};
constexpr Rgb kFrameWood{250, 248, 240};
constexpr Rgb kDoor{52, 86, 168};
constexpr Rgb kKnob{250, 206, 60};
constexpr Rgb kSmoke{196, 198, 206};
constexpr Rgb kTrunk{118, 78, 44};
constexpr Rgb kLeaves{36, 132, 58};
constexpr Rgb kLeavesLight{58, 160, 70};
constexpr Rgb kApple{226, 40, 44};
constexpr Rgb kShadow{92, 150, 56};
constexpr Rgb kBird{44, 44, 60};
constexpr Rgb kBallColours[] = {{232, 44, 52}, {250, 250, 250}, {40, 96, 216}, {252, 200, 30}};
constexpr Rgb kFlowerColours[] = {{230, 50, 90}, {150, 80, 210}, {255, 255, 255}, {255, 190, 20}};

void Cloud(Canvas& canvas, double x, double y, double size)
{
    canvas.ellipse(x, y + 6 * size, 30 * size, 9 * size, kCloudShade);
    canvas.circle(x - 16 * size, y, 11 * size, kCloud);
    canvas.circle(x, y - 6 * size, 15 * size, kCloud);
    canvas.circle(x + 17 * size, y + 1 * size, 11 * size, kCloud);
    canvas.rect(x - 16 * size, y, x + 17 * size, y + 10 * size, kCloud);
}

void Bird(Canvas& canvas, double x, double y, double flap)
{
    const double lift = 5.0 * flap;
    canvas.line({x - 8, y - lift}, {x, y}, 1.2, kBird);
    canvas.line({x, y}, {x + 8, y - lift}, 1.2, kBird);
}

void Ball(Canvas& canvas, double cx, double cy, double r, double turn)
{
    canvas.fill(cx - r, cy - r, cx + r, cy + r, kBallColours[0], [&](Point p) {
        const double dx = p.x - cx, dy = p.y - cy;
        return dx * dx + dy * dy <= r * r;
    });
    // Four coloured wedges, turned as the ball rolls.
    for (int wedge = 1; wedge < 4; ++wedge) {
        canvas.fill(cx - r, cy - r, cx + r, cy + r, kBallColours[wedge], [&](Point p) {
            const double dx = p.x - cx, dy = p.y - cy;
            if (dx * dx + dy * dy > r * r)
                return false;
            double angle = std::atan2(dy, dx) - turn;
            angle -= kTau * std::floor(angle / kTau);
            return static_cast<int>(angle / (kTau / 4)) == wedge;
        });
    }
    canvas.circle(cx, cy, r * 0.22, kBallColours[1]);
}

void DrawFrame(Canvas& canvas, int frame, int frameCount)
{
    const double t = static_cast<double>(frame) / frameCount; // 0 .. 1, loops seamlessly
    // The sky darkens upwards in 32 gentle steps: too gentle for sketch lines,
    // enough for the dots, posters and grey levels to show their grading.
    for (int band = 0; band < 32; ++band) {
        const double f = band / 31.0;
        const Rgb colour{static_cast<std::uint8_t>(kSkyTop.r + (kSky.r - kSkyTop.r) * f),
                         static_cast<std::uint8_t>(kSkyTop.g + (kSky.g - kSkyTop.g) * f),
                         static_cast<std::uint8_t>(kSkyTop.b + (kSky.b - kSkyTop.b) * f)};
        canvas.rect(0, band * 6.0, kStageWidth, band == 31 ? kStageHeight : band * 6.0 + 6.0, colour);
    }

    // The sun turns by one ray spacing per loop.
    const double sunX = 268, sunY = 48;
    for (int ray = 0; ray < 12; ++ray) {
        const double a = kTau * (ray + t) / 12.0;
        canvas.line({sunX + 31 * std::cos(a), sunY + 31 * std::sin(a)},
                    {sunX + 43 * std::cos(a), sunY + 43 * std::sin(a)}, 2.6, kSunRim);
    }
    canvas.circle(sunX, sunY, 26, kSunRim);
    canvas.circle(sunX, sunY, 22, kSun);

    Cloud(canvas, 70 + 10 * std::sin(kTau * t), 42, 1.0);
    Cloud(canvas, 176 + 8 * std::sin(kTau * t + 2.0), 26, 0.8);

    // Birds cross the sky once per loop.
    const double birdX = -20 + 360 * t;
    Bird(canvas, birdX, 78, std::sin(kTau * 4 * t));
    Bird(canvas, birdX - 22, 88, std::sin(kTau * 4 * t + 1.5));

    canvas.ellipse(70, 205, 150, 72, kFarHill);
    canvas.ellipse(262, 208, 130, 62, kHill);
    // The meadow brightens towards the front in a few flat rings.
    for (int ring = 0; ring < 6; ++ring) {
        const double f = ring / 5.0;
        const Rgb colour{static_cast<std::uint8_t>(kMeadowBack.r + (kMeadow.r - kMeadowBack.r) * f),
                         static_cast<std::uint8_t>(kMeadowBack.g + (kMeadow.g - kMeadowBack.g) * f),
                         static_cast<std::uint8_t>(kMeadowBack.b + (kMeadow.b - kMeadowBack.b) * f)};
        canvas.ellipse(160, 268 + ring * 8, 270 - ring * 14, 92 - ring * 6, colour);
    }

    // Smoke puffs rise from the chimney and fade into the sky.
    for (int puff = 0; puff < 3; ++puff) {
        const double p = std::fmod(t * 3 + puff / 3.0, 1.0);
        canvas.circle(181 + 10 * p + 3 * std::sin(kTau * p), 80 - 44 * p, 4 + 6 * p, kSmoke);
    }

    // The cottage.
    canvas.rect(175, 84, 187, 112, kChimney);
    canvas.rect(110, 120, 200, 186, kWall);
    canvas.polygon({{98, 124}, {155, 78}, {212, 124}}, kRoof);
    for (const double wx : {120.0, 168.0}) {
        canvas.rect(wx - 2, 133, wx + 24, 159, kFrameWood);
        canvas.rect(wx, 135, wx + 22, 157, kWindow);
        canvas.rect(wx + 10, 135, wx + 12, 157, kFrameWood);
        canvas.rect(wx, 145, wx + 22, 147, kFrameWood);
    }
    canvas.rect(146, 150, 164, 186, kDoor);
    canvas.circle(160, 169, 1.8, kKnob);
    canvas.polygon({{146, 186}, {164, 186}, {196, 240}, {118, 240}}, kPath);

    // An apple tree.
    canvas.rect(250, 140, 260, 194, kTrunk);
    canvas.circle(255, 122, 26, kLeaves);
    canvas.circle(238, 136, 16, kLeaves);
    canvas.circle(272, 136, 16, kLeaves);
    canvas.circle(250, 114, 12, kLeavesLight);
    for (const Point apple : {Point{244, 128}, Point{266, 120}, Point{258, 140}, Point{236, 140}})
        canvas.circle(apple.x, apple.y, 3, kApple);

    // Flowers in the grass.
    for (int i = 0; i < 14; ++i) {
        const double fx = 12 + i * 22.5 + (i % 3) * 5;
        const double fy = 204 + (i * 7 % 5) * 7;
        if (fx > 112 && fx < 202)
            continue;
        canvas.circle(fx, fy, 3.2, kFlowerColours[i % 4]);
        canvas.circle(fx, fy, 1.2, kKnob);
    }

    // The beach ball rolls left and right and bounces three times per loop.
    const double sweep = t < 0.5 ? 2 * t : 2 - 2 * t;
    const double ballX = 36 + 248 * sweep;
    const double height = std::abs(std::sin(std::numbers::pi * 3 * t)) * 48;
    const double ballR = 13;
    const double groundY = 226;
    canvas.ellipse(ballX, groundY, ballR * (1.0 - height / 120.0), 3.5, kShadow);
    Ball(canvas, ballX, groundY - ballR - height, ballR, ballX / ballR);
}

} // namespace

std::vector<std::uint8_t> DrawScene(int width, int height, int frame, int frameCount)
{
    Canvas canvas(width, height);
    DrawFrame(canvas, frame, frameCount);
    return canvas.pixels();
}

} // namespace qf::demo
