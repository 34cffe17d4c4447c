// Looks at screenshots of the window for the screen tests:
//
//   screen_check differ A.png B.png X0 Y0 X1 Y1
//       how many pixels differ within the part of the pictures from X0,Y0 to
//       X1,Y1 (fractions of their width and height); status 0 when more
//       than 50 do.
//   screen_check card SHOT.png
//       finds the ticked card (its frame in the accent colour) and its name
//       (dark text under its picture); status 0 when the whole frame and
//       the name are on screen.
#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// The accent colour of the skin, which draws the ticked card's frame.
bool IsAccent(QRgb pixel)
{
    return std::abs(qRed(pixel) - 0x3f) + std::abs(qGreen(pixel) - 0x6e) + std::abs(qBlue(pixel) - 0xe8)
           <= 30;
}

bool IsInk(QRgb pixel)
{
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel) < 3 * 150;
}

struct Run {
    int y, left, right;
};

// The longest run of accent pixels in row y, if at least 40 long.
std::optional<Run> LongestRun(const QImage& image, int y)
{
    Run best{y, 0, -1};
    for (int x = 0; x < image.width();) {
        if (!IsAccent(image.pixel(x, y))) {
            ++x;
            continue;
        }
        int end = x;
        while (end + 1 < image.width() && IsAccent(image.pixel(end + 1, y)))
            ++end;
        if (end - x > best.right - best.left)
            best = {y, x, end};
        x = end + 1;
    }
    if (best.right - best.left + 1 < 40)
        return std::nullopt;
    return best;
}

int Card(const QImage& image)
{
    std::vector<std::optional<Run>> rows;
    rows.reserve(static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y)
        rows.push_back(LongestRun(image, y));
    // A frame: a top and a bottom edge of the same span, with rows between
    // them where only the sides are drawn, the sides down its whole height.
    for (int top = 0; top < image.height(); ++top) {
        if (!rows[top])
            continue;
        for (int bottom = top + 40; bottom < image.height(); ++bottom) {
            const auto& edge = rows[bottom];
            if (!edge || std::abs(edge->left - rows[top]->left) > 6
                || std::abs(edge->right - rows[top]->right) > 6)
                continue;
            const int left = rows[top]->left, right = rows[top]->right;
            // The corners are rounded: the sides lie a little outside the
            // straight part of the edges.
            const auto side = [&](int from, int to, int y) {
                for (int x = std::max(0, from); x <= std::min(image.width() - 1, to); ++x)
                    if (IsAccent(image.pixel(x, y)))
                        return true;
                return false;
            };
            bool open = false, sides = true;
            for (int y = top + 12; y <= bottom - 12; ++y) {
                open = open || !rows[y] || rows[y]->right - rows[y]->left < (right - left) / 2;
                sides = sides && side(left - 14, left, y) && side(right, right + 14, y);
            }
            if (!open || !sides)
                continue;
            // The name: dark text in the lowest rows of the card, right of
            // its check box.
            int ink = 0;
            for (int y = std::max(top, bottom - 40); y < bottom - 2; ++y)
                for (int x = left + 30; x < right - 4; ++x)
                    ink += IsInk(image.pixel(x, y));
            std::printf("card %d,%d %dx%d, name pixels %d\n", left, top, right - left + 1, bottom - top + 1,
                        ink);
            return ink >= 15 ? 0 : 1;
        }
    }
    std::printf("no whole ticked card\n");
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "differ" && argc == 8) {
        const QImage a(QString::fromLocal8Bit(argv[2])), b(QString::fromLocal8Bit(argv[3]));
        if (a.isNull() || a.size() != b.size()) {
            std::printf("the pictures cannot be compared\n");
            return 2;
        }
        const int x0 = int(std::atof(argv[4]) * a.width()), y0 = int(std::atof(argv[5]) * a.height());
        const int x1 = int(std::atof(argv[6]) * a.width()), y1 = int(std::atof(argv[7]) * a.height());
        int differing = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                differing += a.pixel(x, y) != b.pixel(x, y);
        std::printf("%d pixels differ\n", differing);
        return differing > 50 ? 0 : 1;
    }
    if (command == "card" && argc == 3) {
        const QImage shot(QString::fromLocal8Bit(argv[2]));
        if (shot.isNull())
            return 2;
        return Card(shot.convertToFormat(QImage::Format_RGB32));
    }
    std::fprintf(stderr, "usage: screen_check differ A B X0 Y0 X1 Y1 | card SHOT\n");
    return 2;
}
