// The colour-keyed copies: a source pixel replaces the target pixel unless its key says no.
#include "effects/effects.h"

// Each loop stores every target pixel, choosing between the old and the new value: a select with
// an unconditional store is what the compiler turns into vector code.

void overlayNonZero(Pixel* target, const Pixel* base, const Pixel* over) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        // base is stored first, so when target is over itself, over[i] reads base[i].
        const Pixel b = base[i];
        target[i] = b;
        const Pixel o = over[i];
        target[i] = o != 0 ? o : b;
    }
}

void copyBelowKey(Pixel* target, const Pixel* source, uint32_t key) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s < key ? s : target[i];
    }
}

void copyAboveKey(Pixel* target, const Pixel* source, uint32_t key) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s > key ? s : target[i];
    }
}

void copyUnlessKey(Pixel* target, const Pixel* source, int32_t key) {
    const Pixel k = Pixel(key);
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s != k ? s : target[i];
    }
}

void copyUnlessRedKey(Pixel* target, const Pixel* source) {
    // 17 (0x11) itself never triggers the key, in any channel.
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        const bool strongRed = pixelRed(s) > 17 && pixelGreen(s) < 17 && pixelBlue(s) < 17;
        target[i] = strongRed ? target[i] : s;
    }
}
