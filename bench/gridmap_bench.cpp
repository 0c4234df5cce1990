// Speed of the grid texture mapper and of each grid generator on the show's 65 x 33 grid.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "gridmap/gridmap.h"

namespace {

constexpr float kTime = 7.3f;  // music time of the sample frame
constexpr float kLevel0 = 0.05f;
constexpr float kLevel1 = 0.1f;

struct Texture {
    std::vector<Pixel> pixels;
    Image image;
};

Texture makeTexture() {
    Texture texture{std::vector<Pixel>(kPicturePixels), {}};
    uint32_t state = 12345;
    for (Pixel& p : texture.pixels) {
        state = state * 1664525u + 1013904223u;
        p = state >> 8;
    }
    texture.image = {kPictureWidth, kPictureHeight, texture.pixels.data()};
    return texture;
}

// The grid of the first scene's sample frame: a zoomed, scrolling plane with two wave layers.
void shapeFirstScene(DeformGrid* grid) {
    gridSetPlane(grid, int32_t(512 - 150 * kLevel0), int32_t(256 - 130 * kLevel0),
                 int32_t(30 * kTime), 0);
    gridAddCrossWaves(grid, 0.25f, 0.3f, kTime, kTime, 140 * kLevel1 + 50);
    gridAddAxisWaves(grid, 0.3f, 0.2f, kTime, kTime, 140 * kLevel1 + 40);
}

// The grid of the 3D scene's backdrop: one texel per pixel, drifting, rippled from the centre.
void shapeThirdScene(DeformGrid* grid) {
    const float t = 45.3f;
    gridSetPlane(grid, 512, 256, int32_t(30 * t), int32_t(10 * t));
    gridAddCosineRipple(grid, 0.5f, 3);
}

// The grid of the fourth scene's sample frame: the texture at rest, gently waved, so that only a
// few blocks at the edges reach outside it.
void shapeFourthScene(DeformGrid* grid) {
    const float t = 65.2f;
    gridSetPlane(grid, 512, 256, 0, 0);
    gridAddCrossWaves(grid, 4 * kLevel0 + 0.3f, 4 * kLevel0 + 0.2f, t, t, 8);
    gridAddAxisWaves(grid, 0.2f, 0.1f, t, t, 4);
}

using MapFunction = bool (*)(Pixel*, const DeformGrid*, const Image*);

// Times kMap on the grid kShape makes; the result must be kSame's (a peer must draw the same).
template <MapFunction kMap, void (*kShape)(DeformGrid*), MapFunction kSame = kMap>
void mapScene(benchmark::State& state) {
    Texture texture = makeTexture();
    std::vector<Pixel> target(kPicturePixels);
    DeformGrid* grid = createDeformGrid(kPictureWidth, kPictureHeight);
    kShape(grid);
    for (auto _ : state) {
        kMap(target.data(), grid, &texture.image);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/pixel"] =
        benchmark::Counter(double(state.iterations()) * kPicturePixels,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    std::vector<Pixel> same(kPicturePixels);
    kSame(same.data(), grid, &texture.image);
    if (same != target) state.SkipWithError("the peer draws other pixels");
    releaseDeformGrid(grid);
    delete grid;
}
#if defined(__x86_64__) && defined(__GNUC__)
// The peer the mapper's AVX2 rows replaced: every block row formed as eight lanes from its own
// edge steps and looked up by the gather instruction.
template <bool kClamped>
__attribute__((target("avx2"))) bool mapByGathers(Pixel* target, const DeformGrid* grid,
                                                  const Image* texture) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i pitch = _mm256_set1_epi32(texture->width);
    const auto* base = reinterpret_cast<const int*>(texture->pixels);
    auto eighth = [](uint32_t v) { return uint32_t(int32_t(v) >> 3); };
    for (int32_t i = 0; i + 1 < grid->rows; ++i) {
        const GridNode* top = grid->nodes + i * grid->columns;
        const GridNode* bottom = top + grid->columns;
        for (int32_t j = 0; j + 1 < grid->columns; ++j) {
            uint32_t lu = uint32_t(top[j].u) << 16, lv = uint32_t(top[j].v) << 16;
            uint32_t ru = uint32_t(top[j + 1].u) << 16, rv = uint32_t(top[j + 1].v) << 16;
            const uint32_t dlu = eighth((uint32_t(bottom[j].u) - uint32_t(top[j].u)) << 16);
            const uint32_t dlv = eighth((uint32_t(bottom[j].v) - uint32_t(top[j].v)) << 16);
            const uint32_t dru = eighth((uint32_t(bottom[j + 1].u) - uint32_t(top[j + 1].u)) << 16);
            const uint32_t drv = eighth((uint32_t(bottom[j + 1].v) - uint32_t(top[j + 1].v)) << 16);
            Pixel* out = target + (8 * i) * kPitch + 8 * j;
            for (int r = 0; r < 8; ++r, out += kPitch) {
                const __m256i us = _mm256_add_epi32(
                    _mm256_set1_epi32(int32_t(lu)),
                    _mm256_mullo_epi32(lane, _mm256_set1_epi32(int32_t(eighth(ru - lu)))));
                const __m256i vs = _mm256_add_epi32(
                    _mm256_set1_epi32(int32_t(lv)),
                    _mm256_mullo_epi32(lane, _mm256_set1_epi32(int32_t(eighth(rv - lv)))));
                const __m256i tu = _mm256_srai_epi32(us, 16);
                const __m256i tv = _mm256_srai_epi32(vs, 16);
                __m256i result;
                if constexpr (kClamped) {
                    const __m256i cu = _mm256_sub_epi32(tu, _mm256_set1_epi32(1));
                    const __m256i cv = _mm256_sub_epi32(tv, _mm256_set1_epi32(1));
                    const __m256i inside = _mm256_and_si256(
                        _mm256_cmpeq_epi32(_mm256_min_epu32(cu, _mm256_set1_epi32(510)), cu),
                        _mm256_cmpeq_epi32(_mm256_min_epu32(cv, _mm256_set1_epi32(254)), cv));
                    const __m256i index = _mm256_and_si256(
                        inside, _mm256_add_epi32(tu, _mm256_mullo_epi32(tv, pitch)));
                    result =
                        _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, index, inside, 4);
                } else {
                    const __m256i index = _mm256_add_epi32(
                        _mm256_and_si256(tu, _mm256_set1_epi32(511)),
                        _mm256_mullo_epi32(_mm256_and_si256(tv, _mm256_set1_epi32(255)), pitch));
                    result = _mm256_i32gather_epi32(base, index, 4);
                }
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), result);
                lu += dlu, lv += dlv, ru += dru, rv += drv;
            }
        }
    }
    return true;
}

BENCHMARK(mapScene<mapByGathers<false>, shapeFirstScene, mapGridWrapped>)
    ->Name("gathers/wrapped/firstScene");
BENCHMARK(mapScene<mapByGathers<false>, shapeThirdScene, mapGridWrapped>)
    ->Name("gathers/wrapped/thirdScene");
BENCHMARK(mapScene<mapByGathers<true>, shapeFourthScene, mapGridClamped>)
    ->Name("gathers/clamped/fourthScene");
#endif
BENCHMARK(mapScene<mapGridWrapped, shapeFirstScene>)->Name("mapGridWrapped/firstScene");
BENCHMARK(mapScene<mapGridClamped, shapeFirstScene>)->Name("mapGridClamped/firstScene");
BENCHMARK(mapScene<mapGridWrapped, shapeThirdScene>)->Name("mapGridWrapped/thirdScene");
BENCHMARK(mapScene<mapGridClamped, shapeFourthScene>)->Name("mapGridClamped/fourthScene");

// One generator over the show's grid. The displacements do not depend on the node values, so the
// nodes are not reset between rounds: they merely keep adding up (and wrap, harmlessly).
template <typename Generate>
void runGenerator(benchmark::State& state, Generate generate) {
    DeformGrid* grid = createDeformGrid(kPictureWidth, kPictureHeight);
    gridSetPlane(grid, 512, 256, 0, 0);
    for (auto _ : state) {
        generate(grid);
        benchmark::DoNotOptimize(grid->nodes);
        benchmark::ClobberMemory();
    }
    state.counters["ns/node"] =
        benchmark::Counter(double(state.iterations()) * grid->rows * grid->columns,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    releaseDeformGrid(grid);
    delete grid;
}

void BM_gridSetPlane(benchmark::State& state) {
    DeformGrid* grid = createDeformGrid(kPictureWidth, kPictureHeight);
    for (auto _ : state) {
        gridSetPlane(grid, 437, 256, 10, 3);
        benchmark::DoNotOptimize(grid->nodes);
        benchmark::ClobberMemory();
    }
    state.counters["ns/node"] =
        benchmark::Counter(double(state.iterations()) * grid->rows * grid->columns,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    releaseDeformGrid(grid);
    delete grid;
}
BENCHMARK(BM_gridSetPlane);

#define GRID_GENERATOR_BENCH(name, ...)                                                       \
    void BM_##name(benchmark::State& state) {                                                 \
        runGenerator(state, [](DeformGrid* grid) { name(grid __VA_OPT__(, ) __VA_ARGS__); }); \
    }                                                                                         \
    BENCHMARK(BM_##name)

GRID_GENERATOR_BENCH(gridAddAxisWaves, 0.3f, 0.2f, kTime, kTime, 54.0f);
GRID_GENERATOR_BENCH(gridAddCrossWaves, 0.25f, 0.3f, kTime, kTime, 64.0f);
GRID_GENERATOR_BENCH(gridAddRadialSine, 2.0f);
GRID_GENERATOR_BENCH(gridAddRadialZoom, 0.05f);
GRID_GENERATOR_BENCH(gridAddTangentWarp);
GRID_GENERATOR_BENCH(gridAddGrowingSine, 0.5f);
GRID_GENERATOR_BENCH(gridAddCosineRipple, 0.5f, 3.0f);
GRID_GENERATOR_BENCH(gridAddRaisedRipple, 0.5f, kTime, 3.0f);
GRID_GENERATOR_BENCH(gridAddDirectionalShift, 0.7f, 0.5f);
GRID_GENERATOR_BENCH(gridAddDecayingWaves, 0.3f, 0.2f, kTime, kTime, 4.0f, 100);

}  // namespace
