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

#if defined(BRINDLEHOP_AVX2_KERNELS)
// The AVX2 kernels weigh byte by byte, each channel as one multiply-add of a byte pair (x, y) with
// a weight pair (wa, wb), wa + wb = 255: x * wa + y * wb <= 255 * 255 fits 16 bits, twice as many
// lanes per register as the 32-bit words of weighPixels. The multiply-add takes its pixel bytes
// signed, so they come moved down by 128 and 128 * 255 is added back after: each product pair
// stays within +-32640, clear of the instruction's saturation. The top byte is weighted 0 and
// gets nothing added back, so it comes out 0.

// Weighs the pairs that unpacking two pixel registers interleaves; results in 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i weighPairs(__m256i weights, __m256i pairs) {
    const __m256i addBack = _mm256_set1_epi64x(0x00007F807F807F80ll);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(weights, pairs), addBack), 8);
}

// crossFade eight pixels a step, every channel weighted (level, keep).
__attribute__((target("avx2"))) void crossFadeWide(Pixel* target, const Pixel* other,
                                                   uint32_t level, uint32_t keep) {
    const __m256i weights =
        _mm256_and_si256(_mm256_set1_epi32(int32_t(level | keep << 8 | level << 16 | keep << 24)),
                         _mm256_set1_epi64x(0x0000FFFFFFFFFFFFll));
    const __m256i bias = _mm256_set1_epi8(int8_t(0x80));
    for (int32_t i = 0; i < kPicturePixels; i += 8) {
        auto* at = reinterpret_cast<__m256i*>(target + i);
        const __m256i t = _mm256_xor_si256(_mm256_loadu_si256(at), bias);
        const __m256i o =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(other + i)), bias);
        _mm256_storeu_si256(at,
                            _mm256_packus_epi16(weighPairs(weights, _mm256_unpacklo_epi8(o, t)),
                                                weighPairs(weights, _mm256_unpackhi_epi8(o, t))));
    }
}

#endif

#if defined(BRINDLEHOP_WASM_KERNELS)
// crossFade four pixels a step for WebAssembly, whose vectoriser keeps weighPixels' 32-bit
// multiplies: each channel widened to a 16-bit lane, where x * level + y * keep <= 255 * 255
// fits, then shifted down and narrowed back. The top byte is weighted 0 on both sides.

// (o * level + t * keep) >> 8 in each 16-bit lane.
inline v128_t weighLanes(v128_t o, v128_t t, v128_t levels, v128_t keeps) {
    return wasm_u16x8_shr(wasm_i16x8_add(wasm_i16x8_mul(o, levels), wasm_i16x8_mul(t, keeps)), 8);
}

void crossFadeWasm(Pixel* target, const Pixel* other, uint32_t level, uint32_t keep) {
    const auto a = static_cast<uint16_t>(level);
    const auto b = static_cast<uint16_t>(keep);
    const v128_t levels = wasm_u16x8_make(a, a, a, 0, a, a, a, 0);
    const v128_t keeps = wasm_u16x8_make(b, b, b, 0, b, b, b, 0);
    for (int32_t i = 0; i < kPicturePixels; i += 4) {
        const v128_t o = wasm_v128_load(other + i);
        const v128_t t = wasm_v128_load(target + i);
        const v128_t low = weighLanes(wasm_u16x8_extend_low_u8x16(o),
                                      wasm_u16x8_extend_low_u8x16(t), levels, keeps);
        const v128_t high = weighLanes(wasm_u16x8_extend_high_u8x16(o),
                                       wasm_u16x8_extend_high_u8x16(t), levels, keeps);
        wasm_v128_store(target + i, wasm_u8x16_narrow_i16x8(low, high));
    }
}
#endif

}  // namespace

// The plain loop is the baseline's; its AVX2 clone still multiplies 32-bit words, so on AVX2
// machines the byte-wise kernel takes over wherever it gives the same result.
BRINDLEHOP_AVX2_CLONED(crossFade, (Pixel* target, const Pixel* other, uint32_t level),
                       (target, other, level)) {
    // Level 0 must leave the picture bit for bit, top bytes too, so it skips the pass entirely.
    if (level == 0) return;
    if (level > 255) level = 255;
    const uint32_t keep = 255 - level;
#if defined(BRINDLEHOP_AVX2_KERNELS)
    if (machineHasAvx2() && sameOrApart(target, other, sizeof(Pixel) * kPicturePixels)) {
        crossFadeWide(target, other, level, keep);
        return;
    }
#endif
#if defined(BRINDLEHOP_WASM_KERNELS)
    if (sameOrApart(target, other, sizeof(Pixel) * kPicturePixels)) {
        crossFadeWasm(target, other, level, keep);
        return;
    }
#endif
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        target[i] = weighPixels(other[i], level, target[i], keep);
    }
}

// Without AVX2 the 32-bit multiplies have no single vector instruction and the loop runs several
// times slower, so it gets an AVX2 copy, chosen when the program loads.
BRINDLEHOP_AVX2_CLONED(alphaBlendLowByte, (Pixel* target, const Pixel* source), (target, source)) {
    for (int32_t i = 0; i < kPicturePixels; ++i) {
        const Pixel s = source[i];
        const Pixel d = target[i];
        const uint32_t alpha = s & 0xFFu;
        const Pixel blended = weighPixels(s, alpha, d, 255 - alpha);
        target[i] = s != 0 ? blended : d;
    }
}
