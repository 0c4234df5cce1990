// The colour-keyed copies: a source pixel replaces the target pixel unless its key says no.
#include "effects/effects.h"
#include "effects/multiversion.h"

// Each loop stores every target pixel, choosing between the old and the new value: a select with
// an unconditional store is what the compiler turns into vector code. Each has an AVX2 copy,
// chosen when the program loads: eight pixels a step instead of four brings them to about the
// cost of a plain copy.

BRINDLEHOP_AVX2_CLONES void overlayNonZero(Pixel* target, const Pixel* base, const Pixel* over) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        // base is stored first, so when target is over itself, over[i] reads base[i].
        const Pixel b = base[i];
        target[i] = b;
        const Pixel o = over[i];
        target[i] = o != 0 ? o : b;
    }
}

BRINDLEHOP_AVX2_CLONES void copyBelowKey(Pixel* target, const Pixel* source, uint32_t key) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s < key ? s : target[i];
    }
}

BRINDLEHOP_AVX2_CLONES void copyAboveKey(Pixel* target, const Pixel* source, uint32_t key) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s > key ? s : target[i];
    }
}

BRINDLEHOP_AVX2_CLONES void copyUnlessKey(Pixel* target, const Pixel* source, int32_t key) {
    const Pixel k = Pixel(key);
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s != k ? s : target[i];
    }
}

BRINDLEHOP_AVX2_CLONES void copyUnlessRedKey(Pixel* target, const Pixel* source) {
    // 17 (0x11) itself never triggers the key, in any channel.
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        const bool strongRed = pixelRed(s) > 17 && pixelGreen(s) < 17 && pixelBlue(s) < 17;
        target[i] = strongRed ? target[i] : s;
    }
}
