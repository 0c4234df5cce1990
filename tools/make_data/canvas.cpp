// Canvases, coverage masks and the shape tests the pictures are painted with.
#include <algorithm>
#include <cmath>

#include "tools/make_data/make_data.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Samples per axis for smooth edges: 4 x 4 gives 17 coverage levels, plenty at these sizes.
constexpr int kSmoothSamples = 4;

uint8_t toByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

Canvas makeCanvas(int width, int height, Rgb fill) {
    Canvas canvas{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (size_t i = 0; i < canvas.rgb.size(); i += 3) {
        canvas.rgb[i] = fill.r;
        canvas.rgb[i + 1] = fill.g;
        canvas.rgb[i + 2] = fill.b;
    }
    return canvas;
}

void putPixel(Canvas& canvas, int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
    const size_t i = (static_cast<size_t>(y) * canvas.width + x) * 3;
    canvas.rgb[i] = colour.r;
    canvas.rgb[i + 1] = colour.g;
    canvas.rgb[i + 2] = colour.b;
}

Rgb getPixel(const Canvas& canvas, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * canvas.width + x) * 3;
    return {canvas.rgb[i], canvas.rgb[i + 1], canvas.rgb[i + 2]};
}

Mask emptyMask(int width, int height) {
    return {width, height, std::vector<float>(static_cast<size_t>(width) * height, 0.0f)};
}

Mask shapeMask(int width, int height, const ShapeTest& inside, int x0, int y0, int x1, int y1,
               EdgeMode edges) {
    Mask mask = emptyMask(width, height);
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width);
    y1 = std::min(y1, height);
    const int samples = edges == kHard ? 1 : kSmoothSamples;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double px = x + (sx + 0.5) / samples;
                    const double py = y + (sy + 0.5) / samples;
                    hits += inside(px, py) ? 1 : 0;
                }
            }
            mask.coverage[static_cast<size_t>(y) * width + x] =
                static_cast<float>(hits) / static_cast<float>(samples * samples);
        }
    }
    return mask;
}

Mask dilateMask(const Mask& mask, int radius) {
    Mask grown = mask;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            float best = 0.0f;
            for (int dy = -radius; dy <= radius; ++dy) {
                const int yy = y + dy;
                if (yy < 0 || yy >= mask.height) continue;
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int xx = x + dx;
                    if (xx < 0 || xx >= mask.width || dx * dx + dy * dy > radius * radius) continue;
                    best = std::max(best, mask.coverage[static_cast<size_t>(yy) * mask.width + xx]);
                }
            }
            grown.coverage[static_cast<size_t>(y) * mask.width + x] = best;
        }
    }
    return grown;
}

void addMask(Mask& a, const Mask& b) {
    for (size_t i = 0; i < a.coverage.size(); ++i) {
        a.coverage[i] = std::min(1.0f, a.coverage[i] + b.coverage[i]);
    }
}

void subtractMask(Mask& a, const Mask& b) {
    for (size_t i = 0; i < a.coverage.size(); ++i) {
        a.coverage[i] = std::max(0.0f, a.coverage[i] - b.coverage[i]);
    }
}

void paintMask(Canvas& canvas, const Mask& mask, Rgb colour) {
    const uint8_t channel[3] = {colour.r, colour.g, colour.b};
    for (size_t i = 0; i < mask.coverage.size(); ++i) {
        const double a = mask.coverage[i];
        if (a <= 0.0) continue;
        for (int c = 0; c < 3; ++c) {
            uint8_t& v = canvas.rgb[i * 3 + c];
            v = toByte(v + (channel[c] - v) * a);
        }
    }
}

bool insideEllipse(double x, double y, double cx, double cy, double rx, double ry, double angle) {
    const double dx = x - cx;
    const double dy = y - cy;
    const double u = dx * std::cos(angle) + dy * std::sin(angle);
    const double v = -dx * std::sin(angle) + dy * std::cos(angle);
    return (u * u) / (rx * rx) + (v * v) / (ry * ry) <= 1.0;
}

bool insideEgg(double x, double y, double cx, double cy, double height, double angle) {
    const double dx = x - cx;
    const double dy = y - cy;
    const double u = dx * std::cos(angle) + dy * std::sin(angle);
    const double v = (-dx * std::sin(angle) + dy * std::cos(angle)) / (height * 0.5);
    // Half-width 0.38 of the height at the middle, narrower towards the top (v = -1).
    const double halfWidth = height * 0.38 * (1.0 + 0.16 * v);
    return (u / halfWidth) * (u / halfWidth) + v * v <= 1.0;
}

bool insidePolygon(double x, double y, const std::vector<double>& xy) {
    bool inside = false;
    const size_t n = xy.size() / 2;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = xy[2 * i], yi = xy[2 * i + 1];
        const double xj = xy[2 * j], yj = xy[2 * j + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

bool insideStar(double x, double y, double cx, double cy, double outer, double inner, int points,
                double angle) {
    std::vector<double> xy;
    for (int i = 0; i < points * 2; ++i) {
        const double r = (i % 2 == 0) ? outer : inner;
        const double a = angle + kTwoPi * i / (points * 2) - kTwoPi / 4;
        xy.push_back(cx + r * std::cos(a));
        xy.push_back(cy + r * std::sin(a));
    }
    return insidePolygon(x, y, xy);
}

Rgb hsv(double hue, double saturation, double value) {
    hue = (hue - std::floor(hue)) * 6.0;
    const int sector = static_cast<int>(hue) % 6;
    const double f = hue - std::floor(hue);
    const double p = value * (1 - saturation);
    const double q = value * (1 - saturation * f);
    const double t = value * (1 - saturation * (1 - f));
    double r = value, g = t, b = p;
    switch (sector) {
        case 1:
            r = q, g = value, b = p;
            break;
        case 2:
            r = p, g = value, b = t;
            break;
        case 3:
            r = p, g = q, b = value;
            break;
        case 4:
            r = t, g = p, b = value;
            break;
        case 5:
            r = value, g = p, b = q;
            break;
        default:
            break;
    }
    return {toByte(r * 255), toByte(g * 255), toByte(b * 255)};
}

Rgb cosinePalette(double t, const double a[3], const double b[3], const double c[3],
                  const double d[3]) {
    double v[3];
    for (int i = 0; i < 3; ++i)
        v[i] = a[i] + b[i] * std::cos(kTwoPi * (c[i] * t + d[i]));
    return {toByte(v[0] * 255), toByte(v[1] * 255), toByte(v[2] * 255)};
}

void invertCanvas(Canvas& canvas) {
    for (uint8_t& v : canvas.rgb)
        v = static_cast<uint8_t>(255 - v);
}
