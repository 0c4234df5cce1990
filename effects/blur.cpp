// The running 2x2 blur and the averaging step it is built from.
#include "effects/effects.h"
#include "effects/multiversion.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kLowSevenBits = 0x7F7F7F7Fu;
constexpr uint32_t kTopByte = 0xFF000000u;

// Per byte floor((a + b) / 2): a + b = 2 (a & b) + (a ^ b), halved byte by byte; the mask drops
// the bit each byte would shift into the one below.
inline uint32_t floorHalfSum(uint32_t a, uint32_t b) {
    return (a & b) + (((a ^ b) >> 1) & kLowSevenBits);
}

// The value carried along the stepwise chain: four complemented bytes (255 - channel), stepped by
// a per-byte average that rounds up. SSE2 does that in one instruction, whose latency (2 cycles on
// current machines) sets the pace of the stepwise blur; elsewhere it is a few word operations.
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

// Step j (j = y * 512 + x) averages indices j, j + 1, j + 512 and j + 513 and writes the result
// A[j] into all four. Following who wrote each of them last:
//   j and j + 512   both hold A[j - 1] (the previous square's right column; for x = 0 that is the
//                   previous row's last step, whose right column wrapped round to column 0),
//   j + 1           holds A[j - 511] (written as the bottom-left of the row above's step at x + 1),
//                   or the untouched pixel in row 0 before step 511,
//   j + 513         is still the value from before the pass (no earlier step reaches it).
// So, per channel, A[j] = (2 A[j - 1] + t + o) >> 2, one serial chain over the whole picture, with
// t and o known a row in advance. And since (2a + t + o) >> 2 = (a + ((t + o) >> 1)) >> 1, each
// chain step is one halving average of A[j - 1] with the precomputed h[j] = (t + o) >> 1.
// When the pass ends, index m < 131072 holds A[m]; row 256 holds row 255 moved one pixel on
// (index m gets A[m - 512]), with A[131071] at both index 131072 and index 131584.
//
// Averages that round down are averages that round up of the complements (255 - v), so this
// version runs the chain on complements, one rounding-up byte average per step. It is the plain
// one, for machines without AVX2; its pace is that average's latency, about 2 cycles a pixel.
[[maybe_unused]] void blurStepwise(Pixel* buffer) {  // unused where a SIMD kernel always runs
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
}

#if defined(BRINDLEHOP_AVX2_KERNELS)
// The chain unrolled eight steps at a time. Two halving steps are one quartering step,
// (((a + h1) >> 1) + h2) >> 1 = (a + h1 + 2 h2) >> 2, since the bit the first shift drops lies
// below every bit the second keeps; so m steps from A[j] are
//   A[j + m] = (A[j] + S_m) >> m,   S_m = h[j + 1] + 2 h[j + 2] + ... + 2^(m - 1) h[j + m],
// exact in 16-bit lanes up to m = 8: A + S_8 <= 255 + 255 * 255 = 255 * 256. The weighted sums
// S_1..S_8 of a block of eight pixels do not depend on the chain, so they run in parallel lanes;
// what is left of the chain is one add and one shift per eight pixels. The block's pixels sit as
// four 16-bit channels each in two registers, pixels
// 0 1 | 4 5 and 2 3 | 6 7 (| between 128-bit lanes): the layout unpacking to 16 bits gives, and
// the one packing back to bytes takes, and one in which most of the running sums stay in-lane.

// A block's halves weighted and widened to 16 bits: pixels 0 1 | 4 5 and 2 3 | 6 7.
struct WeightedEight {
    __m256i outer;
    __m256i inner;
};

// A block's running sums S_1..S_8 in the same layout, and S_8 in every 64-bit lane: all the chain
// needs to finish the block, given A[j - 1].
struct SumsOfEight {
    __m256i outer;
    __m256i inner;
    __m256i total;
};

// Pixel m of the block (0..7) weighted 2^m. The top channel is weighted 0, which keeps the
// results' top byte 0 whatever the inputs' top bytes are.
__attribute__((target("avx2"))) inline WeightedEight weighEight(__m256i halves) {
    const __m256i weightsOuter =
        _mm256_setr_epi16(1, 1, 1, 0, 2, 2, 2, 0, 16, 16, 16, 0, 32, 32, 32, 0);
    const __m256i weightsInner =
        _mm256_setr_epi16(4, 4, 4, 0, 8, 8, 8, 0, 64, 64, 64, 0, 128, 128, 128, 0);
    const __m256i zero = _mm256_setzero_si256();
    return {_mm256_mullo_epi16(_mm256_unpacklo_epi8(halves, zero), weightsOuter),
            _mm256_mullo_epi16(_mm256_unpackhi_epi8(halves, zero), weightsInner)};
}

// Running sums within each half of four: pairs first, then the first pair's sum into the second;
// then the first half's total (pixel 3's sum) into the second half. Swapping the halves' totals
// across the 128-bit lanes once gives both that and the block's total.
__attribute__((target("avx2"))) inline SumsOfEight sumEight(WeightedEight weighted) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i outer = _mm256_add_epi16(weighted.outer, _mm256_slli_si256(weighted.outer, 8));
    __m256i inner = _mm256_add_epi16(weighted.inner, _mm256_slli_si256(weighted.inner, 8));
    inner = _mm256_add_epi16(inner, _mm256_shuffle_epi32(outer, 0xEE));
    // Pixel 3's sum | pixel 7's sum within its half, each in both 64-bit lanes of its half.
    const __m256i halfTotals = _mm256_shuffle_epi32(inner, 0xEE);
    const __m256i swapped = _mm256_permute2x128_si256(halfTotals, halfTotals, 0x01);
    const __m256i firstHalf = _mm256_blend_epi32(zero, swapped, 0xF0);
    return {_mm256_add_epi16(outer, firstHalf), _mm256_add_epi16(inner, firstHalf),
            _mm256_add_epi16(halfTotals, swapped)};
}

// The block's results from A[j - 1] in every 64-bit lane of last: pixel m's sum shifted down by
// m + 1, as a multiply-high by 2^(15 - m) since AVX2 has no per-lane 16-bit shift. Writes
// A[j..j + 7] to out; returns A[j + 7] in every 64-bit lane.
__attribute__((target("avx2"))) inline __m256i finishEight(__m256i last, const SumsOfEight& sums,
                                                           Pixel* out) {
    const __m256i shiftsOuter =
        _mm256_setr_epi16(int16_t(1u << 15), int16_t(1u << 15), int16_t(1u << 15),
                          int16_t(1u << 15), 1 << 14, 1 << 14, 1 << 14, 1 << 14, 1 << 11, 1 << 11,
                          1 << 11, 1 << 11, 1 << 10, 1 << 10, 1 << 10, 1 << 10);
    const __m256i shiftsInner =
        _mm256_setr_epi16(1 << 13, 1 << 13, 1 << 13, 1 << 13, 1 << 12, 1 << 12, 1 << 12, 1 << 12,
                          1 << 9, 1 << 9, 1 << 9, 1 << 9, 1 << 8, 1 << 8, 1 << 8, 1 << 8);
    const __m256i resultsOuter =
        _mm256_mulhi_epu16(_mm256_add_epi16(last, sums.outer), shiftsOuter);
    const __m256i resultsInner =
        _mm256_mulhi_epu16(_mm256_add_epi16(last, sums.inner), shiftsInner);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_packus_epi16(resultsOuter, resultsInner));
    return _mm256_srli_epi16(_mm256_add_epi16(last, sums.total), 8);
}

// h = floorHalfSum(t, o) per byte for eight pixels: the rounding-up average less the bit it
// rounded up by.
__attribute__((target("avx2"))) inline __m256i halveEight(const Pixel* above, const Pixel* below) {
    const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(above));
    const __m256i o = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(below));
    const __m256i roundedUp = _mm256_and_si256(_mm256_xor_si256(t, o), _mm256_set1_epi8(1));
    return _mm256_sub_epi8(_mm256_avg_epu8(t, o), roundedUp);
}

// Eight chain steps: from A[j - 1] in every 64-bit lane of last and h[j..j + 7] as bytes, writes
// A[j..j + 7] to out; returns A[j + 7] in every 64-bit lane.
__attribute__((target("avx2"))) inline __m256i chainEight(__m256i last, __m256i halves,
                                                          Pixel* out) {
    return finishEight(last, sumEight(weighEight(halves)), out);
}

// Row 0, whose t is the unblurred row itself.
__attribute__((target("avx2"))) __m256i blurFirstRow(Pixel* row) {
    const Pixel* above = row + 1;
    const Pixel* below = row + kPitch + 1;
    // The first step's A[j - 1] is taken as its own result, which one step keeps as is.
    const Pixel first = averageOfFour(row[0], row[1], row[kPitch], row[kPitch + 1]);
    __m256i last = _mm256_cvtepu8_epi16(_mm_set1_epi32(int32_t(first)));
    const __m256i firstHalves =
        _mm256_blend_epi32(halveEight(above, below), _mm256_set1_epi32(int32_t(first)), 1);
    last = chainEight(last, firstHalves, row);
    // Step 511's t is column 0 of row 1, which step 0 has written (A[0], as into row[0]);
    // above[511] still holds what that pixel held before the pass.
    alignas(32) Pixel lastAbove[8];
    for (int32_t i = 0; i < 7; ++i)
        lastAbove[i] = above[kPitch - 8 + i];
    lastAbove[7] = row[0];
    for (int32_t x = 8; x < kPitch - 8; x += 8)
        last = chainEight(last, halveEight(above + x, below + x), row + x);
    return chainEight(last, halveEight(lastAbove, below + (kPitch - 8)), row + (kPitch - 8));
}

// Rows 1 to 255 as one run of blocks: the block at out reads t from out - 511 (the row above,
// already blurred, one pixel on) and o from out + 513. Step 511's t is what the row's step 0
// wrote into column 0 of the next row, the same value it wrote into the row's own column 0,
// which is above[511]; in the last row, below[511] is index 131584, within the reach.
//
// A block is some 25 vector operations, nearly each waiting for the one before; taken one block
// after another, the out-of-order window holds about two blocks and the vector units idle. So
// the loop keeps four blocks in flight, each at its own stage: it finishes block n, sums n + 1,
// weighs n + 2 and loads n + 3, every stage from what the one before made an iteration earlier.
// Only finishing depends on the block before. No block reads what the three before it write:
// they write the row between the two it reads, or the far end of the row above.
__attribute__((target("avx2"))) void blurOtherRows(Pixel* buffer, __m256i last) {
    constexpr int32_t kToAbove = kPitch - 1;  // from a block's output back to its t
    constexpr int32_t kToBelow = kPitch + 1;  // and on to its o
    Pixel* out = buffer + kPitch;
    Pixel* const lastThreeBlocks = buffer + kPicturePixels - 3 * 8;
    SumsOfEight sums = sumEight(weighEight(halveEight(out - kToAbove, out + kToBelow)));
    WeightedEight weighted = weighEight(halveEight(out + 8 - kToAbove, out + 8 + kToBelow));
    __m256i halves = halveEight(out + 16 - kToAbove, out + 16 + kToBelow);
    for (; out < lastThreeBlocks; out += 8) {
        const __m256i nextHalves = halveEight(out + 24 - kToAbove, out + 24 + kToBelow);
        const WeightedEight nextWeighted = weighEight(halves);
        const SumsOfEight nextSums = sumEight(weighted);
        last = finishEight(last, sums, out);
        sums = nextSums;
        weighted = nextWeighted;
        halves = nextHalves;
    }
    last = finishEight(last, sums, out);
    last = finishEight(last, sumEight(weighted), out + 8);
    finishEight(last, sumEight(weighEight(halves)), out + 16);
}

__attribute__((target("avx2"))) void blurUnrolled(Pixel* buffer) {
    blurOtherRows(buffer, blurFirstRow(buffer));
}

#endif

#if defined(BRINDLEHOP_WASM_KERNELS)
// The chain sixteen steps at a time in 128-bit registers, on the same sums as the AVX2 kernel:
// from A = A[j - 1], pixel m of a block of eight (0..7) is (A + P_m) >> (m + 1), with
// P_m = h[j] + 2 h[j + 1] + ... + 2^m h[j + m], exact in 16-bit lanes. WebAssembly has no
// per-lane shift, so two blocks go together, register m holding pixel m of both (block n in the
// low half, n + 1 in the high): every lane of a register then shifts by the same count,
// P_m = P_(m - 1) + (h_m << m), and no multiplies are needed. The top channel of h is cleared,
// which keeps the sums' and so the results' top byte 0. Four 16-bit channels a pixel; A is kept
// in both halves of a register.

// h = floorHalfSum(t, o) per byte for four pixels, the top byte cleared: the rounding-up average
// less the bit it rounded up by.
inline v128_t halveFour(const Pixel* above, const Pixel* below) {
    const v128_t t = wasm_v128_load(above);
    const v128_t o = wasm_v128_load(below);
    const v128_t halves = wasm_i8x16_sub(wasm_u8x16_avgr(t, o),
                                         wasm_v128_and(wasm_v128_xor(t, o), wasm_i8x16_splat(1)));
    return wasm_v128_and(halves, wasm_i32x4_splat(0x00FFFFFF));
}

// Sixteen chain steps: from A[j - 1] in both halves of last and h[j..j + 15] four pixels a
// register, writes A[j..j + 15] to out; returns A[j + 15] in both halves.
inline v128_t chainSixteen(v128_t last, const v128_t (&halves)[4], Pixel* out) {
    // Pixels m and m + 1 of both blocks: n_m, (n + 1)_m, n_(m + 1), (n + 1)_(m + 1).
    const v128_t pixels[4] = {wasm_i32x4_shuffle(halves[0], halves[2], 0, 4, 1, 5),
                              wasm_i32x4_shuffle(halves[0], halves[2], 2, 6, 3, 7),
                              wasm_i32x4_shuffle(halves[1], halves[3], 0, 4, 1, 5),
                              wasm_i32x4_shuffle(halves[1], halves[3], 2, 6, 3, 7)};
    v128_t sums[8];
    for (int k = 0; k < 4; ++k) {
        sums[2 * k] = wasm_u16x8_extend_low_u8x16(pixels[k]);
        sums[2 * k + 1] = wasm_u16x8_extend_high_u8x16(pixels[k]);
    }
    for (int m = 1; m < 8; ++m)
        sums[m] = wasm_i16x8_add(sums[m - 1], wasm_i16x8_shl(sums[m], m));
    // The chain: A before block n + 1 from block n's P_7, and A after it from block n + 1's.
    const v128_t between = wasm_u16x8_shr(wasm_i16x8_add(last, sums[7]), 8);
    const v128_t betweenBoth = wasm_i64x2_shuffle(between, between, 0, 0);
    const v128_t starts = wasm_i64x2_shuffle(last, betweenBoth, 0, 2);
    const v128_t after = wasm_u16x8_shr(wasm_i16x8_add(betweenBoth, sums[7]), 8);
    // Back to bytes, pixels n_m, (n + 1)_m, n_(m + 1), (n + 1)_(m + 1), then apart by block.
    v128_t bytes[4];
    for (int k = 0; k < 4; ++k) {
        bytes[k] = wasm_u8x16_narrow_i16x8(
            wasm_u16x8_shr(wasm_i16x8_add(starts, sums[2 * k]), 2 * k + 1),
            wasm_u16x8_shr(wasm_i16x8_add(starts, sums[2 * k + 1]), 2 * k + 2));
    }
    wasm_v128_store(out, wasm_i32x4_shuffle(bytes[0], bytes[1], 0, 2, 4, 6));
    wasm_v128_store(out + 4, wasm_i32x4_shuffle(bytes[2], bytes[3], 0, 2, 4, 6));
    wasm_v128_store(out + 8, wasm_i32x4_shuffle(bytes[0], bytes[1], 1, 3, 5, 7));
    wasm_v128_store(out + 12, wasm_i32x4_shuffle(bytes[2], bytes[3], 1, 3, 5, 7));
    return wasm_i64x2_shuffle(after, after, 1, 1);
}

// h for sixteen pixels whose t and o start at above and below.
inline void halveSixteen(v128_t (&halves)[4], const Pixel* above, const Pixel* below) {
    halves[0] = halveFour(above, below);
    halves[1] = halveFour(above + 4, below + 4);
    halves[2] = halveFour(above + 8, below + 8);
    halves[3] = halveFour(above + 12, below + 12);
}

// Row 0, whose t is the unblurred row itself; as blurFirstRow.
v128_t blurFirstRowWasm(Pixel* row) {
    const Pixel* above = row + 1;
    const Pixel* below = row + kPitch + 1;
    // The first step's A[j - 1] is taken as its own result, which one step keeps as is.
    const Pixel first = averageOfFour(row[0], row[1], row[kPitch], row[kPitch + 1]);
    v128_t last = wasm_u16x8_extend_low_u8x16(wasm_i32x4_splat(int32_t(first)));
    v128_t halves[4];
    halveSixteen(halves, above, below);
    // (A select, not a lane replacement: that sends clang 14's code generator into a loop.)
    halves[0] = wasm_v128_bitselect(wasm_i32x4_splat(int32_t(first)), halves[0],
                                    wasm_i32x4_make(-1, 0, 0, 0));
    last = chainSixteen(last, halves, row);
    for (int32_t x = 16; x < kPitch - 16; x += 16) {
        halveSixteen(halves, above + x, below + x);
        last = chainSixteen(last, halves, row + x);
    }
    // Step 511's t is column 0 of row 1, which step 0 has written (A[0], as into row[0]);
    // above[511] still holds what that pixel held before the pass.
    Pixel lastAbove[16];
    for (int32_t i = 0; i < 15; ++i)
        lastAbove[i] = above[kPitch - 16 + i];
    lastAbove[15] = row[0];
    halveSixteen(halves, lastAbove, below + (kPitch - 16));
    return chainSixteen(last, halves, row + (kPitch - 16));
}

// Rows 1 to 255 as one run of blocks, as blurOtherRows: the block at out reads t from out - 511
// and o from out + 513, and neither block of a pair reads what the other writes. Against a block
// at a time, each pixel weighted by its own power of two, this takes half the instructions and
// about four fifths of the time under V8.
void blurOtherRowsWasm(Pixel* buffer, v128_t last) {
    constexpr int32_t kToAbove = kPitch - 1;
    constexpr int32_t kToBelow = kPitch + 1;
    static_assert((kPicturePixels - kPitch) % 16 == 0, "whole pairs of blocks");
    v128_t halves[4];
    for (Pixel* out = buffer + kPitch; out < buffer + kPicturePixels; out += 16) {
        halveSixteen(halves, out - kToAbove, out + kToBelow);
        last = chainSixteen(last, halves, out);
    }
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

void blur2x2(Pixel* buffer) {
#if defined(BRINDLEHOP_AVX2_KERNELS)
    if (machineHasAvx2())
        blurUnrolled(buffer);
    else
        blurStepwise(buffer);
#elif defined(BRINDLEHOP_WASM_KERNELS)
    blurOtherRowsWasm(buffer, blurFirstRowWasm(buffer));
#else
    blurStepwise(buffer);
#endif
    // Row 256: the right columns of the last row's squares.
    const Pixel* lastRow = buffer + kPicturePixels - kPitch;
    Pixel* after = buffer + kPicturePixels;
    for (int32_t i = 1; i < kPitch; ++i)
        after[i] = lastRow[i];
    after[0] = lastRow[kPitch - 1];
    after[kPitch] = lastRow[kPitch - 1];
}
