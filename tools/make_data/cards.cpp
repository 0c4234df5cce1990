// The lettered pictures: sliding title cards, credit cards and the closing picture.
#include <algorithm>
#include <cmath>

#include "tools/make_data/make_data.h"

namespace {

constexpr int kCardWidth = 100;
constexpr int kCardHeight = 56;  // rests at row 196 of the picture: rows 197..251 show
constexpr int kCreditWidth = 150;
constexpr int kCreditHeight = 100;  // 15000 pixels: the show inverts exactly the whole card
constexpr int kClosingWidth = 512;
constexpr int kClosingHeight = 256;

// The largest pixel size, up to `largest`, at which the text fits the given width.
int fittingSize(const Lettering& font, const std::string& text, int width, int largest) {
    int size = largest;
    while (size > 8 && letteringWidth(font, text, size) > width)
        --size;
    return size;
}

Rgb mix(Rgb a, Rgb b, double t) {
    return {static_cast<uint8_t>(a.r + (b.r - a.r) * t + 0.5),
            static_cast<uint8_t>(a.g + (b.g - a.g) * t + 0.5),
            static_cast<uint8_t>(a.b + (b.b - a.b) * t + 0.5)};
}

void fillWhere(Canvas& canvas, Rgb colour, const ShapeTest& inside) {
    paintMask(
        canvas,
        shapeMask(canvas.width, canvas.height, inside, 0, 0, canvas.width, canvas.height, kSmooth),
        colour);
}

}  // namespace

Canvas makeTitleCard(const Lettering& font, const std::string& top, const std::string& bottom,
                     Rgb ground, Rgb ink) {
    Canvas card = makeCanvas(kCardWidth, kCardHeight, ground);
    // A soft vertical shade, lighter at the top, and a frame in the ink colour.
    for (int y = 0; y < kCardHeight; ++y) {
        const Rgb row = mix(mix(ground, {255, 255, 255}, 0.35), ground, y / (kCardHeight - 1.0));
        for (int x = 0; x < kCardWidth; ++x)
            putPixel(card, x, y, row);
    }
    fillWhere(card, ink, [](double x, double y) {
        return x < 3 || y < 4 || x > kCardWidth - 3 || y > kCardHeight - 3;
    });
    const Rgb shadow = mix(ground, ink, 0.35);
    if (bottom.empty()) {
        const int size = fittingSize(font, top, 86, 30);
        Mask word = centredLettering(kCardWidth, kCardHeight, font, top, 50, 39, size, kSmooth);
        Mask shade = centredLettering(kCardWidth, kCardHeight, font, top, 52, 41, size, kSmooth);
        paintMask(card, shade, shadow);
        paintMask(card, word, ink);
    } else {
        const int size =
            std::min(fittingSize(font, top, 86, 22), fittingSize(font, bottom, 86, 22));
        for (int line = 0; line < 2; ++line) {
            const std::string& text = line == 0 ? top : bottom;
            const int baseline = line == 0 ? 27 : 49;
            paintMask(card,
                      centredLettering(kCardWidth, kCardHeight, font, text, 51, baseline + 1, size,
                                       kSmooth),
                      shadow);
            paintMask(
                card,
                centredLettering(kCardWidth, kCardHeight, font, text, 50, baseline, size, kSmooth),
                ink);
        }
    }
    return card;
}

Canvas makeCreditCard(const Lettering& font, const std::string& role, const std::string& handle,
                      Rgb tint) {
    // Drawn as it appears on screen (bright lettering on black), then stored as its negative.
    Canvas card = makeCanvas(kCreditWidth, kCreditHeight, {0, 0, 0});
    const int roleSize = fittingSize(font, role, 130, 17);
    paintMask(card,
              centredLettering(kCreditWidth, kCreditHeight, font, role, 75, 30, roleSize, kSmooth),
              tint);
    fillWhere(card, tint,
              [](double x, double y) { return y >= 38 && y < 40 && std::fabs(x - 75) < 50; });
    const int handleSize = fittingSize(font, handle, 136, 34);
    Mask name =
        centredLettering(kCreditWidth, kCreditHeight, font, handle, 75, 76, handleSize, kSmooth);
    paintMask(card, dilateMask(name, 2), mix(tint, {0, 0, 0}, 0.45));
    paintMask(card, name, {255, 255, 245});
    // Two small eggs as bullets beside the rule.
    fillWhere(card, tint, [](double x, double y) { return insideEgg(x, y, 18, 39, 11, 0.3); });
    fillWhere(card, tint, [](double x, double y) { return insideEgg(x, y, 132, 39, 11, -0.3); });
    invertCanvas(card);
    return card;
}

Canvas makeClosingPicture(const Lettering& font) {
    Canvas picture = makeCanvas(kClosingWidth, kClosingHeight, {0, 0, 0});
    const Rgb zenith = {20, 24, 80};
    const Rgb dusk = {200, 90, 140};
    const Rgb horizon = {255, 190, 110};
    for (int y = 0; y < kClosingHeight; ++y) {
        const double t = y / 190.0;
        const Rgb row = t < 0.6 ? mix(zenith, dusk, t / 0.6)
                                : mix(dusk, horizon, std::min(1.0, (t - 0.6) / 0.4));
        for (int x = 0; x < kClosingWidth; ++x)
            putPixel(picture, x, y, row);
    }
    // Stars in the upper sky, placed by a fixed sequence.
    uint32_t seed = 12345u;
    for (int i = 0; i < 70; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int x = static_cast<int>(seed >> 23);  // 0..511
        seed = seed * 1664525u + 1013904223u;
        const int y = static_cast<int>((seed >> 24) % 90);
        putPixel(picture, x, y, {255, 250, 220});
    }
    fillWhere(picture, {255, 235, 160},
              [](double x, double y) { return std::hypot(x - 380, y - 190) < 46; });
    fillWhere(picture, {30, 70, 45}, [](double x, double y) {
        return y > 200 + 14 * std::sin(x / 512 * 6.283 * 1.2 + 0.6) + 6 * std::sin(x / 37);
    });
    fillWhere(picture, {45, 100, 60}, [](double x, double y) {
        return y > 222 + 10 * std::sin(x / 512 * 6.283 * 2 + 2.0);
    });
    // The big painted egg resting on the hill.
    const double cx = 150, cy = 170, height = 92;
    const Rgb bands[5] = {
        {240, 70, 90}, {255, 210, 80}, {90, 170, 240}, {255, 210, 80}, {240, 70, 90}};
    fillWhere(picture, {250, 245, 235},
              [=](double x, double y) { return insideEgg(x, y, cx, cy, height, -0.15); });
    for (int b = 0; b < 5; ++b) {
        const double v0 = -30 + b * 14;
        fillWhere(picture, bands[b], [=](double x, double y) {
            if (!insideEgg(x, y, cx, cy, height, -0.15)) return false;
            const double u = (x - cx) * std::cos(-0.15) + (y - cy) * std::sin(-0.15);
            const double v = -(x - cx) * std::sin(-0.15) + (y - cy) * std::cos(-0.15);
            const double wave = 3 * std::sin(u * 0.35 + b);
            return v > v0 + wave && v < v0 + 7 + wave;
        });
    }
    Mask title =
        centredLettering(kClosingWidth, kClosingHeight, font, "GOD PÅSKE", 256, 82, 58, kSmooth);
    paintMask(picture, dilateMask(title, 3), {40, 20, 70});
    paintMask(picture, title, {255, 245, 225});
    Mask thanks =
        centredLettering(kClosingWidth, kClosingHeight, font, "takk for nå", 330, 122, 22, kSmooth);
    paintMask(picture, dilateMask(thanks, 2), {60, 30, 80});
    paintMask(picture, thanks, {255, 220, 170});
    return picture;
}
