// The colour-keyed copies: a source pixel replaces the target pixel unless its key says no.
#include "effects/effects.h"
#include "effects/multiversion.h"

// Each loop stores every target pixel, choosing between the old and the new value: a select with
// an unconditional store is what the compiler turns into vector code. Each has an AVX2 copy,
// chosen when the program loads: eight pixels a step instead of four brings them to about the
// cost of a plain copy.

#if defined(BRINDLEHOP_AVX2_KERNELS)
namespace {

// copyUnlessRedKey eight pixels a step, each channel tested as a byte: blue and green at most 16
// where min(x, 16) == x, red at least 18 where max(x, 18) == x. The top byte's 255 in the one
// and 0 in the other let it pass both.
__attribute__((target("avx2"))) void copyUnlessRedKeyWide(Pixel* target, const Pixel* source) {
    const __m256i ceilings = _mm256_set1_epi32(int32_t(0xFFFF1010u));
    const __m256i floors = _mm256_set1_epi32(0x00120000);
    const __m256i allSet = _mm256_set1_epi32(-1);
    for (int32_t i = 0; i < kPicturePixels; i += 8) {
        auto* at = reinterpret_cast<__m256i*>(target + i);
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        const __m256i t = _mm256_loadu_si256(at);
        const __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(s, ceilings), s);
        const __m256i high = _mm256_cmpeq_epi8(_mm256_max_epu8(s, floors), s);
        const __m256i strongRed = _mm256_cmpeq_epi32(_mm256_and_si256(low, high), allSet);
        _mm256_storeu_si256(at, _mm256_blendv_epi8(s, t, strongRed));
    }
}

}  // namespace
#endif

#if defined(BRINDLEHOP_WASM_KERNELS)
namespace {

// copyBelowKey and copyAboveKey four pixels a step, as an unsigned compare and a bit select,
// which clang's vectoriser judges not worth doing for WebAssembly and leaves one pixel a step.
// The mask is of the pixels kept: an unsigned >= or <= is a minimum or maximum and an equality
// on x86, where < and > take two instructions more (about a seventh of the copy in Chromium).
template <bool kBelow>
void copyByKeyWasm(Pixel* target, const Pixel* source, uint32_t key) {
    const v128_t keys = wasm_u32x4_splat(key);
    for (int32_t i = 0; i < kPicturePixels; i += 4) {
        const v128_t s = wasm_v128_load(source + i);
        const v128_t t = wasm_v128_load(target + i);
        const v128_t keep = kBelow ? wasm_u32x4_ge(s, keys) : wasm_u32x4_le(s, keys);
        wasm_v128_store(target + i, wasm_v128_bitselect(t, s, keep));
    }
}

}  // namespace
#endif

BRINDLEHOP_AVX2_CLONED(overlayNonZero, (Pixel* target, const Pixel* base, const Pixel* over),
                       (target, base, over)) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        // base is stored first, so when target is over itself, over[i] reads base[i].
        const Pixel b = base[i];
        target[i] = b;
        const Pixel o = over[i];
        target[i] = o != 0 ? o : b;
    }
}

BRINDLEHOP_AVX2_CLONED(overlayAboveKey,
                       (Pixel* target, const Pixel* base, const Pixel* over, uint32_t key),
                       (target, base, over, key)) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        // As in overlayNonZero: base is stored first, so an over that is the target reads base.
        const Pixel b = base[i];
        target[i] = b;
        const Pixel o = over[i];
        target[i] = o > key ? o : b;
    }
}

BRINDLEHOP_AVX2_CLONED(copyBelowKey, (Pixel* target, const Pixel* source, uint32_t key),
                       (target, source, key)) {
#if defined(BRINDLEHOP_WASM_KERNELS)
    if (sameOrApart(target, source, sizeof(Pixel) * kPicturePixels)) {
        copyByKeyWasm<true>(target, source, key);
        return;
    }
#endif
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s < key ? s : target[i];
    }
}

BRINDLEHOP_AVX2_CLONED(copyAboveKey, (Pixel* target, const Pixel* source, uint32_t key),
                       (target, source, key)) {
#if defined(BRINDLEHOP_WASM_KERNELS)
    if (sameOrApart(target, source, sizeof(Pixel) * kPicturePixels)) {
        copyByKeyWasm<false>(target, source, key);
        return;
    }
#endif
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s > key ? s : target[i];
    }
}

BRINDLEHOP_AVX2_CLONED(copyUnlessKey, (Pixel* target, const Pixel* source, int32_t key),
                       (target, source, key)) {
    const Pixel k = Pixel(key);
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        target[i] = s != k ? s : target[i];
    }
}

BRINDLEHOP_AVX2_CLONED(copyUnlessRedKey, (Pixel* target, const Pixel* source), (target, source)) {
#if defined(BRINDLEHOP_AVX2_KERNELS)
    if (machineHasAvx2() && sameOrApart(target, source, sizeof(Pixel) * kPicturePixels)) {
        copyUnlessRedKeyWide(target, source);
        return;
    }
#endif
    // 17 (0x11) itself never triggers the key, in any channel.
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        const bool strongRed = pixelRed(s) > 17 && pixelGreen(s) < 17 && pixelBlue(s) < 17;
        target[i] = strongRed ? target[i] : s;
    }
}
