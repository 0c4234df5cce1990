// Inversion and its relatives: whole-word subtractions from white or grey, and whitening.
#include "effects/effects.h"
#include "effects/multiversion.h"

// The whole-picture passes have AVX2 copies, chosen when the program loads, that move eight
// pixels a step.

BRINDLEHOP_AVX2_CLONED(invertPicture, (Pixel* target), (target)) {
    // One 32-bit subtraction: with a zero top byte that is 255 minus each channel; a non-zero top
    // byte wraps around instead of being cleared.
    for (int32_t i = 0; i < kPicturePixels; ++i)
        target[i] = 0xFFFFFFu - target[i];
}

BRINDLEHOP_AVX2_CLONED(subtractFromGrey, (Pixel* target, int32_t grey), (target, grey)) {
    // Built unsigned so that any grey gives the same bits as the 32-bit shifts would.
    const uint32_t g = uint32_t(grey);
    const uint32_t greyWord = (g << 16) | (g << 8) | g;
    for (int32_t i = 0; i < kPicturePixels; ++i)
        target[i] = greyWord - target[i];
}

BRINDLEHOP_AVX2_CLONED(whitenNonZero, (Pixel* target), (target)) {
    for (int32_t i = 0; i < kPicturePixels; ++i)
        target[i] = target[i] != 0 ? 0xFFFFFFu : 0u;
}

void invertLeadingPixels(Pixel* pixels) {
    for (int32_t i = 0; i < kLeadingPixels; ++i)
        pixels[i] = 0xFFFFFFu - pixels[i];
}
