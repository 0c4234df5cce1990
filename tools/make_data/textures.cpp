// The whole-picture textures: two seamless tiles and three fractal views, all 512 x 256.
#include <cmath>
#include <complex>

#include "tools/make_data/make_data.h"

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 256;
constexpr double kTwoPi = 6.283185307179586;

// A fixed hash of a lattice point, 0..1; the noise must be the same on every run.
double latticeValue(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFFu) / static_cast<double>(0xFFFFFF);
}

// Value noise on a lattice of cellsX x cellsY cells that wraps around the picture, so the
// noise tiles exactly at 512 x 256.
double periodicNoise(double x, double y, int cellsX, int cellsY, uint32_t seed) {
    const double fx = x / kWidth * cellsX;
    const double fy = y / kHeight * cellsY;
    const int ix = static_cast<int>(std::floor(fx));
    const int iy = static_cast<int>(std::floor(fy));
    double tx = fx - ix;
    double ty = fy - iy;
    tx = tx * tx * (3 - 2 * tx);  // smoothstep hides the lattice
    ty = ty * ty * (3 - 2 * ty);
    const int x0 = ((ix % cellsX) + cellsX) % cellsX, x1 = (x0 + 1) % cellsX;
    const int y0 = ((iy % cellsY) + cellsY) % cellsY, y1 = (y0 + 1) % cellsY;
    const double top = latticeValue(x0, y0, seed) * (1 - tx) + latticeValue(x1, y0, seed) * tx;
    const double bottom = latticeValue(x0, y1, seed) * (1 - tx) + latticeValue(x1, y1, seed) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Four octaves of periodic noise, each on a lattice twice as fine; result about 0..1.
double periodicFbm(double x, double y, int cellsX, int cellsY, uint32_t seed) {
    double sum = 0, weight = 0.5, total = 0;
    for (int octave = 0; octave < 4; ++octave) {
        sum += weight * periodicNoise(x, y, cellsX << octave, cellsY << octave, seed + octave);
        total += weight;
        weight *= 0.5;
    }
    return sum / total;
}

// Escape-time colouring with a continuous count, so the bands blend instead of stepping.
// Returns a negative value for points that never escape.
double smoothEscape(std::complex<double> z, std::complex<double> c, int limit, bool burning) {
    for (int n = 0; n < limit; ++n) {
        if (burning) z = {std::fabs(z.real()), std::fabs(z.imag())};
        z = z * z + c;
        const double r2 = std::norm(z);
        if (r2 > 256.0) return n + 1 - std::log2(std::log2(r2) * 0.5);
    }
    return -1.0;
}

// Renders a fractal view over the picture with 2 x 2 samples per pixel.
template <typename Colour>
Canvas renderFractal(double centreX, double centreY, double spanX, Colour colourOf) {
    Canvas canvas = makeCanvas(kWidth, kHeight, {0, 0, 0});
    const double step = spanX / kWidth;  // square pixels: the height spans half the width
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double sum[3] = {0, 0, 0};
            for (int s = 0; s < 4; ++s) {
                const double px = centreX + (x + 0.25 + 0.5 * (s & 1) - kWidth / 2.0) * step;
                const double py = centreY + (y + 0.25 + 0.5 * (s >> 1) - kHeight / 2.0) * step;
                const Rgb c = colourOf(px, py);
                sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
            }
            putPixel(
                canvas, x, y,
                {static_cast<uint8_t>(sum[0] / 4 + 0.5), static_cast<uint8_t>(sum[1] / 4 + 0.5),
                 static_cast<uint8_t>(sum[2] / 4 + 0.5)});
        }
    }
    return canvas;
}

}  // namespace

Canvas makeColorsTexture() {
    Canvas canvas = makeCanvas(kWidth, kHeight, {0, 0, 0});
    // Whole numbers of periods across 512 and down 256 make every term, and so the tile, seamless.
    const double a[3] = {0.55, 0.5, 0.5}, b[3] = {0.45, 0.5, 0.5}, c[3] = {1.0, 1.0, 1.0},
                 d[3] = {0.0, 0.33, 0.67};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double u = kTwoPi * x / kWidth;
            const double v = kTwoPi * y / kHeight;
            const double warp = std::sin(2 * u + v) + 0.5 * std::cos(3 * v - u);
            const double t = 0.5 * std::sin(3 * u + warp) + 0.5 * std::sin(2 * v + 0.7) +
                             0.35 * std::sin(u + 2 * v + 1.3 * warp) +
                             0.25 * std::cos(5 * u - 3 * v + 2 * std::sin(u - v));
            putPixel(canvas, x, y, cosinePalette(0.45 * t + 0.1, a, b, c, d));
        }
    }
    return canvas;
}

Canvas makeMarbleTexture() {
    Canvas canvas = makeCanvas(kWidth, kHeight, {0, 0, 0});
    const double a[3] = {0.42, 0.6, 0.45}, b[3] = {0.3, 0.3, 0.28}, c[3] = {1.0, 1.0, 1.0},
                 d[3] = {0.2, 0.1, 0.4};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double u = kTwoPi * x / kWidth;
            const double v = kTwoPi * y / kHeight;
            const double grain = periodicFbm(x, y, 8, 4, 7);
            const double veins = std::sin(4 * u + 2 * v + 9.0 * grain);
            const double speckle = periodicFbm(x, y, 64, 32, 21);
            const double t = 0.3 * veins + 0.6 * grain + 0.25 * speckle;
            Rgb colour = cosinePalette(t, a, b, c, d);
            // Thin bright veins where the sine crosses zero.
            const double vein = std::exp(-40.0 * veins * veins);
            colour = {static_cast<uint8_t>(colour.r + (250 - colour.r) * vein * 0.7),
                      static_cast<uint8_t>(colour.g + (245 - colour.g) * vein * 0.7),
                      static_cast<uint8_t>(colour.b + (210 - colour.b) * vein * 0.7)};
            putPixel(canvas, x, y, colour);
        }
    }
    return canvas;
}

Canvas makeMandelbrot() {
    const double a[3] = {0.6, 0.5, 0.45}, b[3] = {0.4, 0.4, 0.45}, c[3] = {1.0, 1.0, 1.0},
                 d[3] = {0.0, 0.1, 0.2};
    return renderFractal(-0.74364, 0.13182, 0.012, [&](double x, double y) {
        const double n = smoothEscape({0, 0}, {x, y}, 800, false);
        if (n < 0) return Rgb{70, 30, 90};
        return cosinePalette(0.9 * std::log(n + 1.0), a, b, c, d);
    });
}

Canvas makeJulia() {
    const double a[3] = {0.45, 0.45, 0.55}, b[3] = {0.45, 0.4, 0.45}, c[3] = {1.0, 1.0, 1.0},
                 d[3] = {0.6, 0.5, 0.3};
    return renderFractal(0.0, 0.0, 3.1, [&](double x, double y) {
        const double n = smoothEscape({x, y}, {-0.8, 0.156}, 300, false);
        if (n < 0) return Rgb{250, 230, 120};
        return cosinePalette(0.05 * n, a, b, c, d);
    });
}

Canvas makeBurningShip() {
    const double a[3] = {0.5, 0.45, 0.5}, b[3] = {0.45, 0.5, 0.4}, c[3] = {1.0, 0.8, 1.0},
                 d[3] = {0.8, 0.2, 0.55};
    return renderFractal(-1.7625, -0.035, 0.14, [&](double x, double y) {
        const double n = smoothEscape({0, 0}, {x, y}, 300, true);
        if (n < 0) return Rgb{70, 40, 90};
        return cosinePalette(0.06 * n, a, b, c, d);
    });
}
