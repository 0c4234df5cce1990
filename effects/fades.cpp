// Cross-fades and alpha blends: two weighted pictures summed per channel.
#include "effects/effects.h"
#include "effects/multiversion.h"

namespace {

constexpr uint32_t kRedBlue = 0xFF00FFu;
constexpr uint32_t kGreen = 0xFF00u;

// (a * wa + b * wb) / 256 per channel, with wa + wb = 255. Red and blue share one multiply: they
// sit 16 bits apart and a product of two bytes needs 16 bits, so they cannot collide, and the
// largest sum (0xFF00FF * 255) still fits 32 bits. The weights add up to 255, not 256, so even
// full weight loses a little: 255 * 255 / 256 = 254.
inline Pixel weighPixels(Pixel a, uint32_t wa, Pixel b, uint32_t wb) {
    const uint32_t redBlue = (((a & kRedBlue) * wa + (b & kRedBlue) * wb) >> 8) & kRedBlue;
    const uint32_t green = (((a & kGreen) * wa + (b & kGreen) * wb) >> 8) & kGreen;
    return redBlue | green;
}

}  // namespace

// Without AVX2 the 32-bit multiplies have no single vector instruction and the loops run several
// times slower, so both get an AVX2 copy, chosen when the program loads.
BRINDLEHOP_AVX2_CLONES void crossFade(Pixel* target, const Pixel* other, uint32_t level) {
    // Level 0 must leave the picture bit for bit, top bytes too, so it skips the pass entirely.
    if (level == 0) return;
    if (level > 255) level = 255;
    const uint32_t keep = 255 - level;
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        target[i] = weighPixels(other[i], level, target[i], keep);
    }
}

BRINDLEHOP_AVX2_CLONES void alphaBlendLowByte(Pixel* target, const Pixel* source) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        const Pixel d = target[i];
        const uint32_t alpha = s & 0xFFu;
        const Pixel blended = weighPixels(s, alpha, d, 255 - alpha);
        target[i] = s != 0 ? blended : d;
    }
}
