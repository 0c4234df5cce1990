// Speed of the capture's frame enlargement, the per-frame work the show adds to ffmpeg's.
#include <benchmark/benchmark.h>

#include <vector>

#include "output/video.h"

namespace {

void BM_ScaleFrame(benchmark::State& state) {
    const uint32_t scale = static_cast<uint32_t>(state.range(0));
    std::vector<Pixel> screen(kScreenPixels);
    for (size_t i = 0; i < screen.size(); ++i)
        screen[i] = static_cast<Pixel>(i * 2654435761u) >> 8;
    std::vector<Pixel> out(static_cast<size_t>(kScreenPixels) * scale * scale);
    for (auto _ : state) {
        scaleFrame(out.data(), screen.data(), scale);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    // Output pixels per second: what a frame of the video costs to fill.
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_ScaleFrame)->Arg(1)->Arg(2)->Arg(3)->Arg(4);

}  // namespace
