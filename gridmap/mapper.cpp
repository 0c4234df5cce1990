// The block texture mapper: each 8x8 block interpolated from its four corner nodes in 16.16.
#include <climits>
#include <cstddef>
#include <cstdint>

#include "gridmap/gridmap.h"

// AVX2 block rows on x86-64. BRINDLEHOP_AVX2_CLONES given on the command line (empty, as for the
// effects) builds the plain loops alone, so that they can be tested on an AVX2 machine too.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(BRINDLEHOP_AVX2_CLONES)
#include <immintrin.h>
#define BRINDLEHOP_VECTOR_ROWS 1
#endif
// After the test above: on x86-64 this header defines BRINDLEHOP_AVX2_CLONES itself. It gives the
// browser build its WebAssembly SIMD block rows.
#include "effects/multiversion.h"

namespace {

enum class Lookup { kWrapped, kClamped };

// 16.16 fixed point: whole texels in the top 16 bits, the fraction in the low 16. Held unsigned so
// that sums and differences wrap like the two's-complement registers they model instead of
// overflowing; a value turns signed only for the arithmetic right shifts.
using Fixed16 = uint32_t;

constexpr uint32_t bitsOf(int32_t value) {
    return static_cast<uint32_t>(value);
}
constexpr int32_t signedOf(uint32_t bits) {
    return static_cast<int32_t>(bits);
}

// Whole texels to 16.16. Done on the unsigned bits because shifting a negative left is not
// something to rely on, and a difference of nodes may overflow anyway.
constexpr Fixed16 toFixed16(uint32_t texels) {
    return texels << 16;
}

// One eighth of a 16.16 value by arithmetic shift. Never inexact here: corner differences in 16.16
// are multiples of 65536 and the edge positions stay multiples of 8192, also after wrapping, so the
// steps are whole and only the final texelOf floors.
constexpr Fixed16 eighthOf(Fixed16 fixed) {
    return bitsOf(signedOf(fixed) >> 3);
}

// Texel column or row of a 16.16 coordinate: floor, so -0.5 texel is texel -1, not 0.
constexpr int32_t texelOf(Fixed16 fixed) {
    return signedOf(fixed) >> 16;
}

// The left and right edges of a block as it is walked down, in 16.16, with their steps per pixel
// row: an eighth of the corner difference.
struct BlockEdges {
    Fixed16 leftU, leftV, rightU, rightV;
    Fixed16 dLu, dLv, dRu, dRv;
};

constexpr BlockEdges blockEdges(const GridNode& topLeft, const GridNode& topRight,
                                const GridNode& bottomLeft, const GridNode& bottomRight) {
    return {toFixed16(bitsOf(topLeft.u)),
            toFixed16(bitsOf(topLeft.v)),
            toFixed16(bitsOf(topRight.u)),
            toFixed16(bitsOf(topRight.v)),
            eighthOf(toFixed16(bitsOf(bottomLeft.u) - bitsOf(topLeft.u))),
            eighthOf(toFixed16(bitsOf(bottomLeft.v) - bitsOf(topLeft.v))),
            eighthOf(toFixed16(bitsOf(bottomRight.u) - bitsOf(topRight.u))),
            eighthOf(toFixed16(bitsOf(bottomRight.v) - bitsOf(topRight.v)))};
}

constexpr void stepEdges(BlockEdges& edges) {
    edges.leftU += edges.dLu;
    edges.leftV += edges.dLv;
    edges.rightU += edges.dRu;
    edges.rightV += edges.dRv;
}

// The eight pixels of one block row: u and v start at the left edge and advance by constant steps.
template <Lookup kLookup>
inline void fillBlockRow(Pixel* out, const Pixel* texels, ptrdiff_t pitch, Fixed16 u, Fixed16 v,
                         Fixed16 du, Fixed16 dv) {
    for (int c = 0; c < kGridBlockSize; ++c) {
        const int32_t tu = texelOf(u);
        const int32_t tv = texelOf(v);
        if constexpr (kLookup == Lookup::kWrapped) {
            out[c] = texels[(tu & (kMapperTextureWidth - 1)) +
                            (tv & (kMapperTextureHeight - 1)) * pitch];
        } else {
            // Column 0 and row 0 count as outside. tu - 1 and tv - 1 cannot overflow (|tu| < 2^15),
            // and one unsigned compare per axis rejects 0, the negatives and the far side at once.
            const bool inside = bitsOf(tu - 1) < uint32_t{kMapperTextureWidth - 1} &&
                                bitsOf(tv - 1) < uint32_t{kMapperTextureHeight - 1};
            // Branch-free: an outside pixel reads texel 0 and masks it away, since the edge of a
            // black region is hard to predict.
            const ptrdiff_t index = inside ? tu + tv * pitch : 0;
            out[c] = texels[index] & (0u - static_cast<uint32_t>(inside));
        }
        u += du;
        v += dv;
    }
}

// Nodes within this many texels of 0 (either way) keep every 16.16 quantity of a block exact:
// corner differences below 2^15 texels, so no difference, edge step or row width overflows.
constexpr int32_t kSteppedNodeLimit = 1 << 14;

// Whether the vector rows may step down a block by additions alone (see steppedBlock).
[[maybe_unused]] bool nodesWithinSteppedLimit(const DeformGrid& grid) {
    // |value| < limit as one unsigned compare: value + limit - 1 <= 2 limit - 2. Counted rather
    // than tested with a branch per node.
    auto outside = [](int32_t value) -> uint32_t {
        return bitsOf(value) + uint32_t{kSteppedNodeLimit - 1} >
               uint32_t{2 * kSteppedNodeLimit - 2};
    };
    const ptrdiff_t count = ptrdiff_t{grid.rows} * grid.columns;
    uint32_t outsideCount = 0;
    for (ptrdiff_t n = 0; n < count; ++n)
        outsideCount += outside(grid.nodes[n].u) + outside(grid.nodes[n].v);
    return outsideCount == 0;
}

// Calls fill(x, y, topLeft, topRight, bottomLeft, bottomRight) for every whole block of the
// grid, (x, y) its top-left pixel. Always inlined, so that an AVX2 caller's fill is inlined too
// (a function without AVX2 cannot take in one with it, and a call per block costs the AVX2
// mapper a tenth of its time).
template <typename Fill>
[[gnu::always_inline]] inline void forEachBlock(const DeformGrid& grid, Fill&& fill) {
    const int32_t columns = grid.columns;
    for (int32_t i = 0; i + 1 < grid.rows; ++i) {
        const GridNode* top = grid.nodes + ptrdiff_t{i} * columns;
        const GridNode* bottom = top + columns;
        for (int32_t j = 0; j + 1 < columns; ++j) {
            fill(j * kGridBlockSize, i * kGridBlockSize, top[j], top[j + 1], bottom[j],
                 bottom[j + 1]);
        }
    }
}

#if defined(BRINDLEHOP_VECTOR_ROWS)
// A texel row times the texture's pitch: a shift when the pitch is a power of two (all the show's
// textures are 512 wide), a multiply otherwise.
struct RowPitch {
    __m256i pitch;
    __m128i shift;
};

template <bool kShiftPitch>
__attribute__((target("avx2"))) inline __m256i rowStart(__m256i row, const RowPitch& pitch) {
    if constexpr (kShiftPitch) return _mm256_sll_epi32(row, pitch.shift);
    return _mm256_mullo_epi32(row, pitch.pitch);
}

// Eight pixels from their texel columns tu and rows tv: indices formed at once and looked up by
// eight plain loads, which on the current machines beat the gather instruction by about a fifth.
// The clamped lookup reads texel 0 for its outside lanes and clears them after.
template <Lookup kLookup, bool kShiftPitch>
__attribute__((target("avx2"))) inline void lookUpEight(Pixel* out, const Pixel* texels, __m256i tu,
                                                        __m256i tv, const RowPitch& pitch) {
    alignas(32) uint32_t index[kGridBlockSize];
    if constexpr (kLookup == Lookup::kWrapped) {
        const __m256i column = _mm256_and_si256(tu, _mm256_set1_epi32(kMapperTextureWidth - 1));
        const __m256i row = _mm256_and_si256(tv, _mm256_set1_epi32(kMapperTextureHeight - 1));
        _mm256_store_si256(reinterpret_cast<__m256i*>(index),
                           _mm256_add_epi32(column, rowStart<kShiftPitch>(row, pitch)));
        for (int c = 0; c < kGridBlockSize; ++c)
            out[c] = texels[index[c]];
    } else {
        // The scalar test's unsigned tu - 1 <= 510, as an unsigned minimum and a compare.
        const __m256i one = _mm256_set1_epi32(1);
        const __m256i cu = _mm256_sub_epi32(tu, one);
        const __m256i cv = _mm256_sub_epi32(tv, one);
        const __m256i insideU = _mm256_cmpeq_epi32(
            _mm256_min_epu32(cu, _mm256_set1_epi32(kMapperTextureWidth - 2)), cu);
        const __m256i insideV = _mm256_cmpeq_epi32(
            _mm256_min_epu32(cv, _mm256_set1_epi32(kMapperTextureHeight - 2)), cv);
        const __m256i inside = _mm256_and_si256(insideU, insideV);
        _mm256_store_si256(
            reinterpret_cast<__m256i*>(index),
            _mm256_and_si256(inside, _mm256_add_epi32(tu, rowStart<kShiftPitch>(tv, pitch))));
        for (int c = 0; c < kGridBlockSize; ++c)
            out[c] = texels[index[c]];
        // Most rows lie wholly inside; the others have their outside lanes cleared after.
        if (_mm256_movemask_ps(_mm256_castsi256_ps(inside)) != 0xFF) {
            _mm256_maskstore_epi32(reinterpret_cast<int*>(out),
                                   _mm256_xor_si256(inside, _mm256_set1_epi32(-1)),
                                   _mm256_setzero_si256());
        }
    }
}

// lane * step + start in each of eight lanes, wrapping modulo 2^32 exactly as repeated additions
// of the step do.
__attribute__((target("avx2"))) inline __m256i laneSteps(Fixed16 start, Fixed16 step) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(signedOf(start)),
                            _mm256_mullo_epi32(lane, _mm256_set1_epi32(signedOf(step))));
}

// fillBlock eight lanes at a time: the same edges and steps, so the same pixels.
template <Lookup kLookup, bool kShiftPitch>
__attribute__((target("avx2"))) void vectorBlock(Pixel* target, const Image& texture,
                                                 const RowPitch& pitch, int32_t x, int32_t y,
                                                 const GridNode& topLeft, const GridNode& topRight,
                                                 const GridNode& bottomLeft,
                                                 const GridNode& bottomRight) {
    static_assert(kGridBlockSize == 8, "eight lanes per block row");
    BlockEdges edges = blockEdges(topLeft, topRight, bottomLeft, bottomRight);
    Pixel* out = target + ptrdiff_t{y} * kPitch + x;
    for (int r = 0; r < kGridBlockSize; ++r) {
        const __m256i us = laneSteps(edges.leftU, eighthOf(edges.rightU - edges.leftU));
        const __m256i vs = laneSteps(edges.leftV, eighthOf(edges.rightV - edges.leftV));
        lookUpEight<kLookup, kShiftPitch>(out, texture.pixels, _mm256_srai_epi32(us, 16),
                                          _mm256_srai_epi32(vs, 16), pitch);
        stepEdges(edges);
        out += kPitch;
    }
}

// vectorBlock for a grid whose nodes lie within kSteppedNodeLimit. There a row's pixel step is
// an exact eighth of the row's width, and the width changes by the same amount from row to row,
// so the step does too: row r's lane k is the top row's lane k plus r (left-edge step + k times
// that change). Each row is then one addition on from the last, with no multiplies.
template <Lookup kLookup, bool kShiftPitch>
__attribute__((target("avx2"))) void steppedBlock(Pixel* target, const Image& texture,
                                                  const RowPitch& pitch, int32_t x, int32_t y,
                                                  const GridNode& topLeft, const GridNode& topRight,
                                                  const GridNode& bottomLeft,
                                                  const GridNode& bottomRight) {
    const BlockEdges edges = blockEdges(topLeft, topRight, bottomLeft, bottomRight);
    __m256i us = laneSteps(edges.leftU, eighthOf(edges.rightU - edges.leftU));
    __m256i vs = laneSteps(edges.leftV, eighthOf(edges.rightV - edges.leftV));
    const __m256i downU = laneSteps(edges.dLu, eighthOf(edges.dRu - edges.dLu));
    const __m256i downV = laneSteps(edges.dLv, eighthOf(edges.dRv - edges.dLv));
    Pixel* out = target + ptrdiff_t{y} * kPitch + x;
    for (int r = 0; r < kGridBlockSize; ++r) {
        lookUpEight<kLookup, kShiftPitch>(out, texture.pixels, _mm256_srai_epi32(us, 16),
                                          _mm256_srai_epi32(vs, 16), pitch);
        us = _mm256_add_epi32(us, downU);
        vs = _mm256_add_epi32(vs, downV);
        out += kPitch;
    }
}

template <Lookup kLookup, bool kShiftPitch>
__attribute__((target("avx2"))) void mapGridVector(Pixel* target, const DeformGrid& grid,
                                                   const Image& texture) {
    const RowPitch pitch{_mm256_set1_epi32(texture.width),
                         _mm_cvtsi32_si128(__builtin_ctz(uint32_t(texture.width)))};
    const bool stepped = nodesWithinSteppedLimit(grid);
    forEachBlock(
        grid, [&](int32_t x, int32_t y, const GridNode& topLeft, const GridNode& topRight,
                  const GridNode& bottomLeft, const GridNode& bottomRight)
                  __attribute__((target("avx2"))) {
                      if (stepped) {
                          steppedBlock<kLookup, kShiftPitch>(target, texture, pitch, x, y, topLeft,
                                                             topRight, bottomLeft, bottomRight);
                      } else {
                          vectorBlock<kLookup, kShiftPitch>(target, texture, pitch, x, y, topLeft,
                                                            topRight, bottomLeft, bottomRight);
                      }
                  });
}

// The vector lanes hold texel indices as signed 32-bit, up to 255 x width + 511.
bool vectorFits(const Image& texture) {
    return texture.width <= (INT32_MAX - kMapperTextureWidth) / kMapperTextureHeight;
}

bool haveAvx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

#if defined(BRINDLEHOP_WASM_KERNELS)
// Block rows four lanes at a time for WebAssembly, where the vectoriser leaves the loop scalar:
// a row's u and v are lane * step + start, its texel indices formed at once, then looked up by
// four loads a register (gatherFour). The same wrapping arithmetic, so the same pixels.

// lane * step + start in each of four lanes (lanes 0..3, or 4..7 from first = 4).
inline v128_t fourSteps(Fixed16 start, Fixed16 step, int32_t first) {
    const v128_t lanes = wasm_i32x4_make(first, first + 1, first + 2, first + 3);
    return wasm_i32x4_add(wasm_i32x4_splat(signedOf(start)),
                          wasm_i32x4_mul(lanes, wasm_i32x4_splat(signedOf(step))));
}

// The four texels at the lanes' indices: four loads, as WebAssembly has no gather.
inline v128_t gatherFour(const Pixel* texels, v128_t index) {
    return wasm_u32x4_make(
        texels[wasm_u32x4_extract_lane(index, 0)], texels[wasm_u32x4_extract_lane(index, 1)],
        texels[wasm_u32x4_extract_lane(index, 2)], texels[wasm_u32x4_extract_lane(index, 3)]);
}

// A texture exactly as wide as the lookup reaches (all the show's textures) has its rows 2^9
// texels apart: a shift by a constant, where any other width takes a multiply, which took about
// an eighth of the mapper's time under V8. (A shift by a count known only at run time is several
// instructions there, so the constant is the point.)
constexpr int32_t kNarrowPitchShift = 9;
static_assert(kMapperTextureWidth == 1 << kNarrowPitchShift);

// Texel row tv's first texel: tv times the pitch.
template <bool kNarrow>
inline v128_t rowStart(v128_t tv, v128_t pitch) {
    if constexpr (kNarrow) return wasm_i32x4_shl(tv, kNarrowPitchShift);
    return wasm_i32x4_mul(tv, pitch);
}

// Four pixels from their 16.16 coordinates us and vs.
template <Lookup kLookup, bool kNarrow>
inline void lookUpFour(Pixel* out, const Pixel* texels, v128_t pitch, v128_t us, v128_t vs) {
    const v128_t tu = wasm_i32x4_shr(us, 16);
    const v128_t tv = wasm_i32x4_shr(vs, 16);
    if constexpr (kLookup == Lookup::kWrapped) {
        const v128_t index = wasm_i32x4_add(
            wasm_v128_and(tu, wasm_i32x4_splat(kMapperTextureWidth - 1)),
            rowStart<kNarrow>(wasm_v128_and(tv, wasm_i32x4_splat(kMapperTextureHeight - 1)),
                              pitch));
        wasm_v128_store(out, gatherFour(texels, index));
    } else {
        // The scalar test's unsigned tu - 1 < 511 and tv - 1 < 255, as 0 < tu < 512 and
        // 0 < tv < 256: signed compares are one instruction each, unsigned ones several. Outside
        // lanes read texel 0 and are cleared.
        const v128_t zero = wasm_i32x4_splat(0);
        const v128_t inside =
            wasm_v128_and(wasm_v128_and(wasm_i32x4_gt(tu, zero),
                                        wasm_i32x4_lt(tu, wasm_i32x4_splat(kMapperTextureWidth))),
                          wasm_v128_and(wasm_i32x4_gt(tv, zero),
                                        wasm_i32x4_lt(tv, wasm_i32x4_splat(kMapperTextureHeight))));
        const v128_t index =
            wasm_v128_and(inside, wasm_i32x4_add(tu, rowStart<kNarrow>(tv, pitch)));
        wasm_v128_store(out, wasm_v128_and(gatherFour(texels, index), inside));
    }
}

// fillBlock eight lanes a row. Within kSteppedNodeLimit each row is one addition on from the
// last, as in steppedBlock; elsewhere each row's lanes are formed afresh from its edges.
template <Lookup kLookup, bool kNarrow>
void fillBlockWasm(Pixel* target, const Image& texture, v128_t pitch, bool stepped, int32_t x,
                   int32_t y, const GridNode& topLeft, const GridNode& topRight,
                   const GridNode& bottomLeft, const GridNode& bottomRight) {
    static_assert(kGridBlockSize == 8, "two registers per block row");
    BlockEdges edges = blockEdges(topLeft, topRight, bottomLeft, bottomRight);
    Pixel* out = target + ptrdiff_t{y} * kPitch + x;
    if (stepped) {
        const Fixed16 du = eighthOf(edges.rightU - edges.leftU);
        const Fixed16 dv = eighthOf(edges.rightV - edges.leftV);
        v128_t u[2] = {fourSteps(edges.leftU, du, 0), fourSteps(edges.leftU, du, 4)};
        v128_t v[2] = {fourSteps(edges.leftV, dv, 0), fourSteps(edges.leftV, dv, 4)};
        const Fixed16 growU = eighthOf(edges.dRu - edges.dLu);
        const Fixed16 growV = eighthOf(edges.dRv - edges.dLv);
        const v128_t downU[2] = {fourSteps(edges.dLu, growU, 0), fourSteps(edges.dLu, growU, 4)};
        const v128_t downV[2] = {fourSteps(edges.dLv, growV, 0), fourSteps(edges.dLv, growV, 4)};
        for (int r = 0; r < kGridBlockSize; ++r) {
            for (int k = 0; k < 2; ++k) {
                lookUpFour<kLookup, kNarrow>(out + 4 * k, texture.pixels, pitch, u[k], v[k]);
                u[k] = wasm_i32x4_add(u[k], downU[k]);
                v[k] = wasm_i32x4_add(v[k], downV[k]);
            }
            out += kPitch;
        }
        return;
    }
    for (int r = 0; r < kGridBlockSize; ++r) {
        const Fixed16 du = eighthOf(edges.rightU - edges.leftU);
        const Fixed16 dv = eighthOf(edges.rightV - edges.leftV);
        lookUpFour<kLookup, kNarrow>(out, texture.pixels, pitch, fourSteps(edges.leftU, du, 0),
                                     fourSteps(edges.leftV, dv, 0));
        lookUpFour<kLookup, kNarrow>(out + 4, texture.pixels, pitch, fourSteps(edges.leftU, du, 4),
                                     fourSteps(edges.leftV, dv, 4));
        stepEdges(edges);
        out += kPitch;
    }
}

// Whether every pixel of a block looks up a texel inside the clamped lookup's columns 1..511 and
// rows 1..255. A block's positions are exact bilinear blends of its corners (see eighthOf), so
// they lie between the corners' least and greatest; with whole-texel corners in range, their
// floors are too. Such a block is the wrapped lookup's, which has no mask to form.
bool blockInside(const GridNode& a, const GridNode& b, const GridNode& c, const GridNode& d) {
    auto column = [](int32_t u) { return u >= 1 && u <= kMapperTextureWidth - 1; };
    auto row = [](int32_t v) { return v >= 1 && v <= kMapperTextureHeight - 1; };
    return column(a.u) && column(b.u) && column(c.u) && column(d.u) && row(a.v) && row(b.v) &&
           row(c.v) && row(d.v);
}

template <Lookup kLookup, bool kNarrow>
void mapGridWasm(Pixel* target, const DeformGrid& grid, const Image& texture) {
    const v128_t pitch = wasm_i32x4_splat(texture.width);
    const bool stepped = nodesWithinSteppedLimit(grid);
    forEachBlock(grid, [&](int32_t x, int32_t y, const GridNode& topLeft, const GridNode& topRight,
                           const GridNode& bottomLeft, const GridNode& bottomRight) {
        if (kLookup == Lookup::kClamped &&
            blockInside(topLeft, topRight, bottomLeft, bottomRight)) {
            fillBlockWasm<Lookup::kWrapped, kNarrow>(target, texture, pitch, stepped, x, y, topLeft,
                                                     topRight, bottomLeft, bottomRight);
        } else {
            fillBlockWasm<kLookup, kNarrow>(target, texture, pitch, stepped, x, y, topLeft,
                                            topRight, bottomLeft, bottomRight);
        }
    });
}

// The lanes hold texel indices as signed 32-bit, up to 255 x width + 511.
bool lanesFit(const Image& texture) {
    return texture.width <= (INT32_MAX - kMapperTextureWidth) / kMapperTextureHeight;
}
#endif

// One 8x8 block; the caller has checked the target, the texture and the position.
template <Lookup kLookup>
void fillBlock(Pixel* target, const Image& texture, int32_t x, int32_t y, const GridNode& topLeft,
               const GridNode& topRight, const GridNode& bottomLeft, const GridNode& bottomRight) {
    BlockEdges edges = blockEdges(topLeft, topRight, bottomLeft, bottomRight);

    const Pixel* texels = texture.pixels;
    const ptrdiff_t pitch = texture.width;
    Pixel* out = target + ptrdiff_t{y} * kPitch + x;
    for (int r = 0; r < kGridBlockSize; ++r) {
        // Each row stops one step short of the right edge: 7/8 of the way, so the next block
        // starts on the shared node and no seam shows.
        const Fixed16 du = eighthOf(edges.rightU - edges.leftU);
        const Fixed16 dv = eighthOf(edges.rightV - edges.leftV);
        fillBlockRow<kLookup>(out, texels, pitch, edges.leftU, edges.leftV, du, dv);
        stepEdges(edges);
        out += kPitch;
    }
}

template <Lookup kLookup>
bool mapGrid(Pixel* target, const DeformGrid* grid, const Image* texture) {
    if (target == nullptr || grid == nullptr || !textureFitsMapper(texture)) return false;
    if (grid->rows < 0 || grid->columns < 0 || grid->columns > kMapperMaxColumns) return false;
    if (grid->rows < 2 || grid->columns < 2) return true;  // no whole block: nothing to draw
    if (grid->nodes == nullptr) return false;

#if defined(BRINDLEHOP_VECTOR_ROWS)
    // Eight lanes at a time map a picture in under two thirds of the scalar loop's time.
    if (haveAvx2() && vectorFits(*texture)) {
        if ((texture->width & (texture->width - 1)) == 0)
            mapGridVector<kLookup, true>(target, *grid, *texture);
        else
            mapGridVector<kLookup, false>(target, *grid, *texture);
        return true;
    }
#endif
#if defined(BRINDLEHOP_WASM_KERNELS)
    if (lanesFit(*texture)) {
        if (texture->width == kMapperTextureWidth)
            mapGridWasm<kLookup, true>(target, *grid, *texture);
        else
            mapGridWasm<kLookup, false>(target, *grid, *texture);
        return true;
    }
#endif
    forEachBlock(*grid, [&](int32_t x, int32_t y, const GridNode& topLeft, const GridNode& topRight,
                            const GridNode& bottomLeft, const GridNode& bottomRight) {
        fillBlock<kLookup>(target, *texture, x, y, topLeft, topRight, bottomLeft, bottomRight);
    });
    return true;
}

template <Lookup kLookup>
bool mapBlock(Pixel* target, const Image* texture, int32_t x, int32_t y, const GridNode* topLeft,
              const GridNode* topRight, const GridNode* bottomLeft, const GridNode* bottomRight) {
    if (target == nullptr || !textureFitsMapper(texture)) return false;
    if (topLeft == nullptr || topRight == nullptr || bottomLeft == nullptr ||
        bottomRight == nullptr) {
        return false;
    }
    if (y < 0 || x < 0 || x > kPitch - kGridBlockSize) return false;
    fillBlock<kLookup>(target, *texture, x, y, *topLeft, *topRight, *bottomLeft, *bottomRight);
    return true;
}

}  // namespace

bool textureFitsMapper(const Image* texture) {
    return texture != nullptr && texture->pixels != nullptr &&
           texture->width >= kMapperTextureWidth && texture->height >= kMapperTextureHeight;
}

bool mapGridWrapped(Pixel* target, const DeformGrid* grid, const Image* texture) {
    return mapGrid<Lookup::kWrapped>(target, grid, texture);
}

bool mapGridClamped(Pixel* target, const DeformGrid* grid, const Image* texture) {
    return mapGrid<Lookup::kClamped>(target, grid, texture);
}

bool mapBlockWrapped(Pixel* target, const Image* texture, int32_t x, int32_t y,
                     const GridNode* topLeft, const GridNode* topRight, const GridNode* bottomLeft,
                     const GridNode* bottomRight) {
    return mapBlock<Lookup::kWrapped>(target, texture, x, y, topLeft, topRight, bottomLeft,
                                      bottomRight);
}

bool mapBlockClamped(Pixel* target, const Image* texture, int32_t x, int32_t y,
                     const GridNode* topLeft, const GridNode* topRight, const GridNode* bottomLeft,
                     const GridNode* bottomRight) {
    return mapBlock<Lookup::kClamped>(target, texture, x, y, topLeft, topRight, bottomLeft,
                                      bottomRight);
}
