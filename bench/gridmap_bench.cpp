// Speed of the grid texture mapper and of each grid generator on the show's 65 x 33 grid.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

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

template <bool (*kMap)(Pixel*, const DeformGrid*, const Image*), void (*kShape)(DeformGrid*)>
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
    releaseDeformGrid(grid);
    delete grid;
}
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
