// Speed of the eight converters over a whole frame, beside SDL_ConvertPixels doing the same work.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "display/display.h"

namespace {

struct Frame {
    std::vector<Pixel> source = std::vector<Pixel>(kScreenPixels);
    std::vector<uint8_t> destination = std::vector<uint8_t>(kScreenPixels * 4);
    Frame() {
        std::mt19937 random(3);
        for (Pixel& p : source)
            p = random() & 0xFFFFFFu;
    }
};

Frame& frame() {
    static Frame shared;
    return shared;
}

// One frame the way presentFrame converts it: one call per row.
void ours(benchmark::State& state, PixelConverter converter, DeviceFormat format) {
    Frame& f = frame();
    const int32_t pitch =
        kScreenWidth * static_cast<int32_t>(deviceFormatMasks(format).bitCount / 8);
    for (auto _ : state) {
        for (int32_t row = 0; row < kScreenHeight; ++row) {
            converter(f.source.data() + row * kScreenWidth, f.destination.data() + row * pitch,
                      kScreenWidth);
        }
        benchmark::DoNotOptimize(f.destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kScreenPixels);
}

// The same frame through SDL's general pixel conversion.
void sdl(benchmark::State& state, DeviceFormat format) {
    Frame& f = frame();
    const int pitch = kScreenWidth * static_cast<int>(deviceFormatMasks(format).bitCount / 8);
    for (auto _ : state) {
        SDL_ConvertPixels(kScreenWidth, kScreenHeight, SDL_PIXELFORMAT_RGB888, f.source.data(),
                          kScreenWidth * 4, sdlPixelFormatOf(format), f.destination.data(), pitch);
        benchmark::DoNotOptimize(f.destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kScreenPixels);
}

#define CONVERTER_PAIR(Name)                                         \
    BENCHMARK_CAPTURE(ours, Name, convert##Name, DeviceFormat::Name) \
        ->Unit(benchmark::kMicrosecond);                             \
    BENCHMARK_CAPTURE(sdl, Name, DeviceFormat::Name)->Unit(benchmark::kMicrosecond);

CONVERTER_PAIR(RGB32)
CONVERTER_PAIR(BGR32)
CONVERTER_PAIR(RGB24)
CONVERTER_PAIR(BGR24)
CONVERTER_PAIR(RGB565)
CONVERTER_PAIR(BGR565)
CONVERTER_PAIR(RGB555)
CONVERTER_PAIR(BGR555)

}  // namespace
