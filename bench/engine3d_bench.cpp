// Speed of the 3D engine: a whole egg render, and the Gouraud rasterizer per pixel filled.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "engine3d/engine3d.h"
#include "tests/engine3d_egg.h"

namespace {

struct Buffers {
    std::vector<Pixel> target = std::vector<Pixel>(kScreenPixels, 0);
    std::vector<float> depth = std::vector<float>(kDepthValues, 0.0f);
};

// The show's frame: the egg placed at z = 180 and spun a little further every render.
void BM_RenderEgg(benchmark::State& state) {
    EggMesh egg;
    makeEgg(egg, 24, 42);
    World* world = createWorld(1, 1);
    world->Objects[0] = egg.object;
    world->Lights[0] = Light{{1.0f, 0.9f, 0.8f}, {0, 80, 0}, 400};
    Buffers b;
    resetDepthBias();
    float t = 38.0f;
    int64_t faces = 0;
    for (auto _ : state) {
        SceneObject& obj = world->Objects[0];
        matIdentity(&obj.PosMatrix);
        matTranslate(&obj.PosMatrix, 0, -30, 180);
        matIdentity(&obj.RotMatrix);
        matRotate(&obj.RotMatrix, float(0.1 * t), float(0.1 * t), t);
        renderWorld(b.target.data(), b.depth.data(), world);
        benchmark::DoNotOptimize(b.target.data());
        t += 0.02f;
        for (const MeshFace& f : egg.faces)
            faces += f.Drawn;
    }
    state.counters["triangles"] = double(egg.faces.size());
    state.counters["kept_per_render"] = double(faces) / double(state.iterations());
    resetDepthBias();
    world->Objects[0] = SceneObject{};
    delete[] world->Objects;
    delete[] world->Lights;
    delete world;
}
BENCHMARK(BM_RenderEgg);

// One triangle of about size x size / 2 pixels, redrawn on top of itself: the bias advances
// every time so that every pixel passes the depth test and is written.
void BM_GouraudTriangle(benchmark::State& state) {
    const int size = int(state.range(0));
    ScreenVertex a{100, 10, 1.0f, 0.2f, 0.0f, 150.0f};
    ScreenVertex b{100 + size, 10 + size / 3, 0.0f, 0.8f, 0.4f, 170.0f};
    ScreenVertex c{110, 10 + size, 0.3f, 0.0f, 1.0f, 190.0f};
    Buffers buf;
    resetDepthBias();
    drawGouraudTriangle(buf.target.data(), buf.depth.data(), a, b, c);
    const int64_t pixels =
        std::count_if(buf.target.begin(), buf.target.end(), [](Pixel p) { return p != 0; });
    for (auto _ : state) {
        advanceDepthBias(buf.depth.data());
        drawGouraudTriangle(buf.target.data(), buf.depth.data(), a, b, c);
        benchmark::DoNotOptimize(buf.target.data());
    }
    state.counters["pixels"] = double(pixels);
    // Shown with an SI prefix: "1.25n" is 1.25 ns per pixel filled.
    state.counters["time_per_pixel"] =
        benchmark::Counter(double(pixels), benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
    resetDepthBias();
}
BENCHMARK(BM_GouraudTriangle)->Arg(12)->Arg(60)->Arg(240);

// A triangle reaching 30000 rows above the picture: every row lands on row 0 when its span is
// kept, so the cost is per row stepped plus per pixel drawn on row 0.
void BM_TriangleFarAbove(benchmark::State& state) {
    ScreenVertex a{250, -30000, 1, 1, 1, 100}, b{300, 100, 0, 1, 0, 100}, c{200, 120, 0, 0, 1, 100};
    if (state.range(0) != 0) a.X = -20000;  // spans above the picture dropped whole
    Buffers buf;
    resetDepthBias();
    for (auto _ : state) {
        advanceDepthBias(buf.depth.data());
        drawGouraudTriangle(buf.target.data(), buf.depth.data(), a, b, c);
        benchmark::DoNotOptimize(buf.target.data());
    }
    resetDepthBias();
}
BENCHMARK(BM_TriangleFarAbove)->Arg(0)->Arg(1);

}  // namespace
