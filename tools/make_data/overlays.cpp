// The keyed overlays: hard-edged art that the show cuts out of each picture with the key 0x111111.
#include <algorithm>
#include <cmath>

#include "tools/make_data/make_data.h"

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 256;
constexpr double kPi = 3.141592653589793;

// Dark-kept overlays: the art is pure black (well below the key), the ground a mid grey. The
// ground is dropped whatever its shade; a mid grey rather than white halves the step at every
// edge, and with it the JPEG ringing that would lift black pixels beside an edge over the key.
constexpr Rgb kInk = {0, 0, 0};
constexpr Rgb kGround = {160, 160, 160};
// Light-kept overlays: the ground is pure black, the art bright with a strong red channel (the
// key compares whole pixels, so red decides: a colour with little red would vanish).
constexpr Rgb kBlack = {0, 0, 0};

void fill(Canvas& canvas, Rgb colour, int x0, int y0, int x1, int y1, const ShapeTest& inside) {
    paintMask(canvas, shapeMask(canvas.width, canvas.height, inside, x0, y0, x1, y1, kHard),
              colour);
}

void fillRect(Canvas& canvas, Rgb colour, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            putPixel(canvas, x, y, colour);
    }
}

void fillEllipse(Canvas& canvas, Rgb colour, double cx, double cy, double rx, double ry,
                 double angle) {
    const int r = static_cast<int>(std::max(rx, ry)) + 2;
    fill(canvas, colour, static_cast<int>(cx) - r, static_cast<int>(cy) - r,
         static_cast<int>(cx) + r, static_cast<int>(cy) + r,
         [=](double x, double y) { return insideEllipse(x, y, cx, cy, rx, ry, angle); });
}

void fillEgg(Canvas& canvas, Rgb colour, double cx, double cy, double height, double angle) {
    const int r = static_cast<int>(height * 0.6) + 2;
    fill(canvas, colour, static_cast<int>(cx) - r, static_cast<int>(cy) - r,
         static_cast<int>(cx) + r, static_cast<int>(cy) + r,
         [=](double x, double y) { return insideEgg(x, y, cx, cy, height, angle); });
}

void fillStar(Canvas& canvas, Rgb colour, double cx, double cy, double outer, double inner,
              int points, double angle) {
    const int r = static_cast<int>(outer) + 2;
    fill(canvas, colour, static_cast<int>(cx) - r, static_cast<int>(cy) - r,
         static_cast<int>(cx) + r, static_cast<int>(cy) + r,
         [=](double x, double y) { return insideStar(x, y, cx, cy, outer, inner, points, angle); });
}

// A band of zigzag across an egg: the points between two zigzag lines, inside the egg.
void fillZigzagBand(Canvas& canvas, Rgb colour, double cx, double cy, double height, double angle,
                    double bandY, double halfBand, double toothWidth) {
    const int r = static_cast<int>(height * 0.6) + 2;
    fill(canvas, colour, static_cast<int>(cx) - r, static_cast<int>(cy) - r,
         static_cast<int>(cx) + r, static_cast<int>(cy) + r, [=](double x, double y) {
             if (!insideEgg(x, y, cx, cy, height, angle)) return false;
             const double u = (x - cx) * std::cos(angle) + (y - cy) * std::sin(angle);
             const double v = -(x - cx) * std::sin(angle) + (y - cy) * std::cos(angle);
             const double phase =
                 std::fabs(std::fmod(u + 1000 * toothWidth, toothWidth) - toothWidth / 2) /
                 (toothWidth / 2);
             const double centre = bandY + (phase - 0.5) * halfBand;
             return std::fabs(v - centre) < halfBand * 0.5;
         });
}

// A rabbit sitting to the right, its feet on the given ground row.
void paintRabbit(Canvas& canvas, Rgb colour, Rgb eye, double x, double ground, double scale) {
    fillEllipse(canvas, colour, x, ground - 22 * scale, 27 * scale, 22 * scale, 0.0);
    fillEllipse(canvas, colour, x + 10 * scale, ground - 4 * scale, 18 * scale, 5 * scale, 0.0);
    fillEllipse(canvas, colour, x - 27 * scale, ground - 20 * scale, 8 * scale, 8 * scale, 0.0);
    fillEllipse(canvas, colour, x + 24 * scale, ground - 48 * scale, 15 * scale, 13 * scale, 0.3);
    fillEllipse(canvas, colour, x + 18 * scale, ground - 76 * scale, 5.5 * scale, 22 * scale,
                -0.25);
    fillEllipse(canvas, colour, x + 29 * scale, ground - 74 * scale, 5.5 * scale, 22 * scale, 0.15);
    fillEllipse(canvas, eye, x + 30 * scale, ground - 51 * scale, 2.6 * scale, 2.6 * scale, 0.0);
}

double meadowRow(double x) {
    return 226 + 7 * std::sin(2 * kPi * x / 512 * 1.5 + 0.4) + 4 * std::sin(2 * kPi * x / 97);
}

}  // namespace

Canvas makeMeadowOverlay(const Lettering& font) {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    // A frame one JPEG block wide, on block boundaries, so its edges carry no ringing at all.
    fillRect(canvas, kInk, 0, 0, kWidth, 8);
    fillRect(canvas, kInk, 0, kHeight - 8, kWidth, kHeight);
    fillRect(canvas, kInk, 0, 0, 8, kHeight);
    fillRect(canvas, kInk, kWidth - 8, 0, kWidth, kHeight);
    // The meadow with its blades of grass.
    fill(canvas, kInk, 0, 180, kWidth, kHeight, [](double x, double y) {
        const double blade = std::fabs(std::fmod(x, 7.0) - 3.5) / 3.5;  // 0 at a tip, 1 between
        const double tip = 6 + 5 * std::sin(x * 0.37) * std::sin(x * 0.11);
        return y > meadowRow(x) - tip * (1 - blade);
    });
    paintRabbit(canvas, kInk, kGround, 120, meadowRow(120) + 2, 1.15);
    const double eggX[3] = {330, 364, 402};
    const double eggH[3] = {34, 27, 40};
    for (int i = 0; i < 3; ++i) {
        const double cy = meadowRow(eggX[i]) - eggH[i] * 0.42;
        fillEgg(canvas, kInk, eggX[i], cy, eggH[i], (i - 1) * 0.2);
        fillZigzagBand(canvas, kGround, eggX[i], cy, eggH[i], (i - 1) * 0.2, 0.0, 6, 7);
    }
    paintMask(canvas, centredLettering(kWidth, kHeight, font, "BRINDLEHOP", 256, 54, 38, kHard),
              kInk);
    return canvas;
}

Canvas makeEggRowOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    for (int i = 0; i < 5; ++i) {
        const double cx = 51.2 + 102.4 * i;
        const double angle = (i % 2 == 0 ? 0.18 : -0.18);
        fillEgg(canvas, kInk, cx, 128, 132, angle);
        fillEgg(canvas, kGround, cx, 128, 116, angle);
        fillZigzagBand(canvas, kInk, cx, 128, 116, angle, (i % 2 == 0 ? -14 : 14), 14, 16);
        fillEllipse(canvas, kInk, cx, 128 + (i % 2 == 0 ? 26 : -26), 6, 6, 0);
    }
    return canvas;
}

Canvas makeHatchingOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    const double cx = 256, cy = 150;
    // The chick: body, head, wing stubs, beak; its eye is a hole.
    fillEllipse(canvas, kInk, cx, cy - 10, 50, 46, 0);
    fillEllipse(canvas, kInk, cx + 4, cy - 74, 34, 32, 0);
    fillEllipse(canvas, kInk, cx - 52, cy - 30, 26, 10, -0.6);
    fillEllipse(canvas, kInk, cx + 56, cy - 30, 26, 10, 0.6);
    fill(canvas, kInk, 0, 0, kWidth, kHeight, [=](double x, double y) {
        return insidePolygon(x, y, {cx + 34, cy - 82, cx + 62, cy - 72, cx + 34, cy - 62});
    });
    fill(canvas, kInk, 0, 0, kWidth, kHeight, [=](double x, double y) {
        return insidePolygon(x, y, {cx - 6, cy - 104, cx - 2, cy - 122, cx + 6, cy - 105});
    });
    fillEllipse(canvas, kGround, cx + 16, cy - 84, 5, 6, 0);
    // The lower shell with a jagged rim, and its lid flying off.
    fill(canvas, kInk, 0, 0, kWidth, kHeight, [=](double x, double y) {
        if (!insideEgg(x, y, cx, cy + 30, 170, 0)) return false;
        const double tooth = std::fabs(std::fmod(x - cx + 1000, 22.0) - 11) / 11;
        return y > cy + 8 + 14 * tooth;
    });
    // A thin gap along the rim parts the shell from the chick sitting in it.
    fill(canvas, kGround, 0, 0, kWidth, kHeight, [=](double x, double y) {
        if (!insideEgg(x, y, cx, cy + 30, 170, 0)) return false;
        const double tooth = std::fabs(std::fmod(x - cx + 1000, 22.0) - 11) / 11;
        const double rim = cy + 8 + 14 * tooth;
        return y > rim && y < rim + 4;
    });
    fill(canvas, kInk, 0, 0, kWidth, kHeight, [=](double x, double y) {
        if (!insideEgg(x, y, 400, 60, 90, 0.7)) return false;
        const double v = -(x - 400) * std::sin(0.7) + (y - 60) * std::cos(0.7);
        const double u = (x - 400) * std::cos(0.7) + (y - 60) * std::sin(0.7);
        const double tooth = std::fabs(std::fmod(u + 1000, 18.0) - 9) / 9;
        return v < -5 - 10 * tooth;
    });
    // Sparks of shell.
    const double sparks[6][3] = {{120, 60, 0.2},  {90, 150, 1.1},  {150, 210, 0.5},
                                 {380, 170, 0.9}, {430, 215, 0.1}, {330, 40, 1.4}};
    for (const auto& s : sparks)
        fillStar(canvas, kInk, s[0], s[1], 13, 5, 4, s[2]);
    return canvas;
}

Canvas makeFrameOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    // Raster lines that thin out towards the middle of the picture, as on an old monitor.
    for (int i = 0; i < 6; ++i) {
        const int thick = 6 - i;
        fillRect(canvas, kInk, 0, 8 * i, kWidth, 8 * i + thick);
        fillRect(canvas, kInk, 0, kHeight - 8 * i - thick, kWidth, kHeight - 8 * i);
    }
    fillRect(canvas, kInk, 0, 0, 16, kHeight);
    fillRect(canvas, kInk, kWidth - 16, 0, kWidth, kHeight);
    const double corners[4][2] = {{40, 70}, {472, 70}, {40, 186}, {472, 186}};
    for (const auto& c : corners) {
        fillEgg(canvas, kInk, c[0], c[1], 40, 0);
        fillZigzagBand(canvas, kGround, c[0], c[1], 40, 0, 0, 6, 8);
    }
    return canvas;
}

Canvas makeScopeOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    const double cx = 256, cy = 128;
    fill(canvas, kInk, 0, 0, kWidth, kHeight, [=](double x, double y) {
        const double r = std::hypot(x - cx, y - cy);
        return (r > 104 && r < 113) || (r > 66 && r < 70) || (r > 150 && r < 153);
    });
    for (int i = 0; i < 24; ++i) {
        const double a = 2 * kPi * i / 24;
        const double inner = (i % 2 == 0) ? 116 : 120;
        fill(canvas, kInk, 0, 0, kWidth, kHeight, [=](double x, double y) {
            const double dx = x - cx, dy = y - cy;
            const double along = dx * std::cos(a) + dy * std::sin(a);
            const double across = -dx * std::sin(a) + dy * std::cos(a);
            return along > inner && along < 140 && std::fabs(across) < 2.5;
        });
    }
    fillEgg(canvas, kInk, cx, cy, 44, 0);
    fillEgg(canvas, kGround, cx, cy, 30, 0);
    fillRect(canvas, kInk, 0, 124, 120, 132);
    fillRect(canvas, kInk, 392, 124, kWidth, 132);
    return canvas;
}

Canvas makeEggGridOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 9; ++col) {
            const double cx = col * 64 + (row % 2 == 0 ? 0 : 32);
            const double cy = row * 64;
            const double angle = ((row + col) % 3 - 1) * 0.3;
            fillEgg(canvas, kInk, cx, cy, 36, angle);
            if ((row + col) % 2 == 0) {
                fillEgg(canvas, kGround, cx, cy, 26, angle);
            } else {
                fillZigzagBand(canvas, kGround, cx, cy, 36, angle, 0, 6, 8);
            }
        }
    }
    return canvas;
}

Canvas makeRabbitOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kGround);
    // Raster bars on the right, thinning towards the rabbit.
    for (int i = 0; i < 14; ++i) {
        const int y = 16 + i * 16;
        const int thick = 2 + (i * 5) % 7;
        fillRect(canvas, kInk, 232 + i * 6, y, kWidth, y + thick);
    }
    // The head in profile with two long ears; the eye is a hole.
    fillEllipse(canvas, kInk, 120, 168, 66, 54, 0.15);
    fillEllipse(canvas, kInk, 180, 190, 34, 28, 0.3);
    fillEllipse(canvas, kInk, 92, 70, 17, 66, -0.35);
    fillEllipse(canvas, kInk, 142, 66, 17, 66, 0.2);
    fillEllipse(canvas, kGround, 96, 80, 7, 48, -0.35);
    fillEllipse(canvas, kGround, 144, 150, 9, 10, 0);
    fillEllipse(canvas, kInk, 147, 152, 4, 5, 0);
    fillEllipse(canvas, kInk, 120, 250, 80, 30, 0);
    return canvas;
}

Canvas makeFlowerOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kBlack);
    const Rgb petal = {255, 238, 140};
    const Rgb trumpet = {255, 150, 40};
    // Daffodils along the top and the bottom edge, the middle left free for the texture.
    for (int i = 0; i < 18; ++i) {
        const bool top = i % 2 == 0;
        const double cx = 14 + i * 28.5;
        const double cy = top ? 22 + 8 * std::sin(i * 1.7) : 232 + 8 * std::sin(i * 2.3);
        const double size = 12 + 5 * std::fabs(std::sin(i * 0.9));
        for (int p = 0; p < 6; ++p) {
            const double a = p * kPi / 3 + i * 0.4;
            fillEllipse(canvas, petal, cx + size * 0.7 * std::cos(a), cy + size * 0.7 * std::sin(a),
                        size * 0.62, size * 0.3, a);
        }
        fillEllipse(canvas, trumpet, cx, cy, size * 0.36, size * 0.36, 0);
    }
    const double sparkles[5][2] = {{96, 96}, {200, 150}, {300, 84}, {420, 140}, {256, 190}};
    for (const auto& s : sparkles)
        fillStar(canvas, {255, 255, 255}, s[0], s[1], 11, 2.5, 4, 0);
    return canvas;
}

Canvas makeHopOverlay(const Lettering& font) {
    Canvas canvas = makeCanvas(kWidth, kHeight, kBlack);
    Mask word = centredLettering(kWidth, kHeight, font, "HOP!", 256, 170, 124, kHard);
    paintMask(canvas, dilateMask(word, 6), {255, 90, 170});
    paintMask(canvas, word, {255, 250, 235});
    for (int i = 0; i < 12; ++i) {
        const double a = 2 * kPi * i / 12 + 0.2;
        const double cx = 256 + 220 * std::cos(a);
        const double cy = 128 + 108 * std::sin(a);
        fillStar(canvas, {255, 220, 60}, cx, cy, 13, 5.5, 5, a);
    }
    return canvas;
}

Canvas makeGardenOverlay() {
    Canvas canvas = makeCanvas(kWidth, kHeight, kBlack);
    const Rgb leaf = {140, 225, 110};
    const Rgb stem = {90, 180, 80};
    const Rgb tulips[3] = {{255, 110, 150}, {255, 200, 70}, {230, 140, 255}};
    // Grass along the bottom and tulips standing in it, both corners up the sides.
    fill(canvas, stem, 0, 200, kWidth, kHeight, [](double x, double y) {
        const double blade = std::fabs(std::fmod(x, 9.0) - 4.5) / 4.5;
        const double tip = 10 + 8 * std::sin(x * 0.23) * std::sin(x * 0.07);
        return y > 246 - tip * (1 - blade);
    });
    const double tulipX[8] = {22, 58, 92, 128, 384, 420, 456, 490};
    for (int i = 0; i < 8; ++i) {
        const double x = tulipX[i];
        const double head = 150 + 25 * std::sin(i * 2.1);
        fillRect(canvas, stem, static_cast<int>(x) - 1, static_cast<int>(head),
                 static_cast<int>(x) + 2, 250);
        fillEllipse(canvas, leaf, x + 9, 225, 5, 18, 0.5);
        const Rgb colour = tulips[i % 3];
        fillEllipse(canvas, colour, x, head, 11, 13, 0);
        fill(canvas, colour, 0, 0, kWidth, kHeight, [=](double px, double py) {
            return insidePolygon(px, py,
                                 {x - 11, head, x - 9, head - 22, x - 3, head - 8, x, head - 22,
                                  x + 3, head - 8, x + 9, head - 22, x + 11, head});
        });
    }
    // A garland across the top.
    for (int i = 0; i < 24; ++i) {
        const double x = 10 + i * 21.5;
        const double y = 12 + 10 * std::sin(kPi * (x / 512.0) * 2) * std::sin(kPi * x / 512.0);
        fillEllipse(canvas, leaf, x, y, 9, 4, 0.5 + (i % 2) * 2.1);
        if (i % 3 == 1) fillEllipse(canvas, tulips[(i / 3) % 3], x, y + 7, 4.5, 4.5, 0);
    }
    const double sparkles[6][2] = {{40, 70},   {470, 66}, {28, 120},
                                   {486, 118}, {170, 40}, {344, 44}};
    for (const auto& s : sparkles)
        fillStar(canvas, {255, 255, 255}, s[0], s[1], 9, 2, 4, 0);
    return canvas;
}
