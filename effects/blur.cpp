// The running 2x2 blur and the averaging step it is built from.
#include "effects/effects.h"
#include "effects/multiversion.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kRedBlue = 0xFF00FFu;
constexpr uint32_t kGreen = 0xFF00u;
constexpr uint32_t kLowSevenBits = 0x7F7F7F7Fu;
constexpr uint32_t kTopByte = 0xFF000000u;

// Per-channel (a + b + c + d) >> 2. Red and blue are summed in one word: four bytes sum to at most
// 1020, which fits the 16 bits between them.
inline Pixel averageOfFour(Pixel a, Pixel b, Pixel c, Pixel d) {
    const uint32_t redBlue =
        ((a & kRedBlue) + (b & kRedBlue) + (c & kRedBlue) + (d & kRedBlue)) >> 2;
    const uint32_t green = ((a & kGreen) + (b & kGreen) + (c & kGreen) + (d & kGreen)) >> 2;
    return (redBlue & kRedBlue) | (green & kGreen);
}

// Per byte floor((a + b) / 2): a + b = 2 (a & b) + (a ^ b), halved byte by byte; the mask drops
// the bit each byte would shift into the one below.
inline uint32_t floorHalfSum(uint32_t a, uint32_t b) {
    return (a & b) + (((a ^ b) >> 1) & kLowSevenBits);
}

// The value carried along the blur's chain: four complemented bytes (255 - channel), stepped by a
// per-byte average that rounds up. SSE2 does that in one instruction of one cycle, which is what
// sets the pace of the whole blur; elsewhere it is a few word operations.
#if defined(__SSE2__)
using Run = __m128i;
inline Run makeRun(uint32_t complement) {
    return _mm_cvtsi32_si128(int32_t(complement));
}
inline Run stepRun(Run run, const uint32_t* complement) {
    return _mm_avg_epu8(_mm_loadu_si32(complement), run);
}
inline void storeRun(uint32_t* to, Run run) {
    _mm_storeu_si32(to, run);
}
#else
using Run = uint32_t;
inline Run makeRun(uint32_t complement) {
    return complement;
}
inline Run stepRun(Run run, const uint32_t* complement) {
    const uint32_t c = *complement;
    return (run | c) - (((run ^ c) >> 1) & kLowSevenBits);
}
inline void storeRun(uint32_t* to, Run run) {
    *to = run;
}
#endif

}  // namespace

void averageQuad(Pixel* buffer, int32_t x, int32_t y, Pixel a, Pixel b, Pixel c, Pixel d) {
    const Pixel average = averageOfFour(a, b, c, d);
    Pixel* at = buffer + (int64_t(y) * kPitch + x);
    at[0] = average;
    at[1] = average;
    at[kPitch] = average;
    at[kPitch + 1] = average;
}

// Step j (j = y * 512 + x) averages indices j, j + 1, j + 512 and j + 513 and writes the result
// A[j] into all four. Following who wrote each of them last:
//   j and j + 512   both hold A[j - 1] (the previous square's right column; for x = 0 that is the
//                   previous row's last step, whose right column wrapped round to column 0),
//   j + 1           holds A[j - 511] (written as the bottom-left of the row above's step at x + 1),
//                   or the untouched pixel in row 0 before step 511,
//   j + 513         is still the value from before the pass (no earlier step reaches it).
// So, per channel, A[j] = (2 A[j - 1] + t + o) >> 2, one serial chain over the whole picture, with
// t and o known a row in advance. And since (2a + t + o) >> 2 = (a + ((t + o) >> 1)) >> 1, each
// chain step is one halving average of A[j - 1] with the precomputed (t + o) >> 1. Averages that
// round down are averages that round up of the complements (255 - v), so the chain runs on
// complements, where one rounding-up byte average per step does it.
// The chain is what limits the speed; the AVX2 copy only widens the row passes around it.
// When the pass ends, index m < 131072 holds A[m]; row 256 holds row 255 moved one pixel on
// (index m gets A[m - 512]), with A[131071] at both index 131072 and index 131584.
BRINDLEHOP_AVX2_CLONES void blur2x2(Pixel* buffer) {
    // Per row: the complements of (t + o) >> 1, then overwritten by the chain's complements.
    uint32_t halves[kPitch];
    Run run = makeRun(0);
    for (int32_t y = 0; y < kPictureHeight; ++y) {
        Pixel* row = buffer + y * kPitch;
        // t for steps 0..510: row y - 1 as already blurred, or row 0 itself before it is blurred.
        const Pixel* above = (y == 0 ? row : row - kPitch) + 1;
        const Pixel* below = row + kPitch + 1;
        // The top byte of every complement is 0xFF, so the chain's top byte stays 0xFF and
        // each result's is 0.
        for (int32_t x = 0; x < kPitch - 1; ++x) {
            halves[x] = ~floorHalfSum(above[x], below[x]) | kTopByte;
        }
        int32_t x = 0;
        if (y == 0) {
            // The very first square has no earlier results in it: all four pixels are originals.
            const Pixel first = averageOfFour(row[0], row[1], row[kPitch], row[kPitch + 1]);
            run = makeRun(~first);
            halves[0] = ~first;
            x = 1;
        }
        for (; x < kPitch - 1; ++x) {
            run = stepRun(run, &halves[x]);
            storeRun(&halves[x], run);
        }
        // Step 511's t is column 0 of row y + 1, which this row's step 0 has just written.
        const uint32_t lastHalf = ~floorHalfSum(~halves[0], row[2 * kPitch]) | kTopByte;
        run = stepRun(run, &lastHalf);
        storeRun(&halves[kPitch - 1], run);
        for (int32_t i = 0; i < kPitch; ++i)
            row[i] = ~halves[i];
    }
    // Row 256: the right columns of the last row's squares.
    const Pixel* lastRow = buffer + kPicturePixels - kPitch;
    Pixel* after = buffer + kPicturePixels;
    for (int32_t i = 1; i < kPitch; ++i)
        after[i] = lastRow[i];
    after[0] = lastRow[kPitch - 1];
    after[kPitch] = lastRow[kPitch - 1];
}
