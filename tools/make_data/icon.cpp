// The program's icon: an egg painted with the plasma and marble pictures, on a clear ground.
#include <algorithm>
#include <cmath>

#include "tools/make_data/make_data.h"

namespace {

// The icon is drawn on a 256 x 256 grid and sampled for every size, so the sizes differ only in
// sharpness. The egg leans a little to the right, as on the title cards.
constexpr double kGrid = 256.0;
constexpr double kEggHeight = 236.0;
constexpr double kLean = 0.22;            // radians, clockwise
constexpr double kOutline = 9.0;          // width of the dark rim on the 256 grid
constexpr double kBandHalfHeight = 0.16;  // of the egg's half height, around its middle
constexpr Rgb kRim = {44, 22, 70};

// The egg's own vertical coordinate: -1 at the narrow top, +1 at the bottom.
double eggLatitude(double x, double y) {
    const double dx = x - kGrid / 2, dy = y - kGrid / 2;
    return (-dx * std::sin(kLean) + dy * std::cos(kLean)) / (kEggHeight * 0.5);
}

// A texel of a 512 x 256 picture for a point of the 256 grid: the middle square of the picture.
Rgb pictureAt(const Canvas& picture, double x, double y) {
    const int column =
        std::clamp(static_cast<int>(x) + picture.width / 2 - 128, 0, picture.width - 1);
    const int row = std::clamp(static_cast<int>(y), 0, picture.height - 1);
    return getPixel(picture, column, row);
}

}  // namespace

Icon makeIcon(int size) {
    const Canvas plasma = makeColorsTexture();
    const Canvas marble = makeMarbleTexture();
    Icon icon{makeCanvas(size, size, kRim), std::vector<uint8_t>(static_cast<size_t>(size) * size)};
    // 4 x 4 samples per pixel, each classed as outside, rim, band or body of the egg.
    constexpr int kSamples = 4;
    const double scale = kGrid / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double sum[3] = {0, 0, 0};
            int covered = 0;
            for (int s = 0; s < kSamples * kSamples; ++s) {
                const double gx = (x + (s % kSamples + 0.5) / kSamples) * scale;
                const double gy = (y + (s / kSamples + 0.5) / kSamples) * scale;
                if (!insideEgg(gx, gy, kGrid / 2, kGrid / 2, kEggHeight, kLean)) continue;
                ++covered;
                Rgb c = kRim;
                if (insideEgg(gx, gy, kGrid / 2, kGrid / 2, kEggHeight - 2 * kOutline, kLean)) {
                    const bool band = std::fabs(eggLatitude(gx, gy)) < kBandHalfHeight;
                    c = pictureAt(band ? marble : plasma, gx, gy);
                }
                sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
            }
            const size_t at = static_cast<size_t>(y) * size + x;
            icon.alpha[at] = static_cast<uint8_t>((255 * covered + kSamples * kSamples / 2) /
                                                  (kSamples * kSamples));
            if (covered == 0) continue;
            putPixel(icon.picture, x, y,
                     {static_cast<uint8_t>(sum[0] / covered + 0.5),
                      static_cast<uint8_t>(sum[1] / covered + 0.5),
                      static_cast<uint8_t>(sum[2] / covered + 0.5)});
        }
    }
    return icon;
}
