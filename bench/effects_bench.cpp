// Speed of the frame buffer effects the show runs every frame, on one 512 x 256 picture.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "effects/effects.h"

namespace {

std::vector<Pixel> randomPicture(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Pixel> b(kPicturePixels + kMaxEffectReach);
    for (Pixel& p : b)
        p = rng() & 0xFFFFFFu;
    return b;
}

// Reported as ns per picture pixel.
void perPixel(benchmark::State& state) {
    state.counters["per_pixel"] =
        benchmark::Counter(double(kPicturePixels), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

void BM_blur2x2(benchmark::State& state) {
    auto b = randomPicture(1);
    for (auto _ : state) {
        blur2x2(b.data());
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

// The step-by-step blur, for comparison: four reads, an average and four writes per pixel.
void BM_blur2x2StepByStep(benchmark::State& state) {
    auto b = randomPicture(1);
    for (auto _ : state) {
        Pixel* p = b.data();
        for (int32_t y = 0; y < kPictureHeight; ++y) {
            for (int32_t x = 0; x < kPitch; ++x) {
                const int32_t i = y * kPitch + x;
                averageQuad(p, x, y, p[i], p[i + 1], p[i + kPitch], p[i + kPitch + 1]);
            }
        }
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

void BM_crossFade(benchmark::State& state) {
    auto target = randomPicture(2);
    const auto other = randomPicture(3);
    for (auto _ : state) {
        crossFade(target.data(), other.data(), 100);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

void BM_copyBelowKey(benchmark::State& state) {
    auto target = randomPicture(4);
    const auto source = randomPicture(5);
    for (auto _ : state) {
        copyBelowKey(target.data(), source.data(), 0x800000u);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

void BM_copyAboveKey(benchmark::State& state) {
    auto target = randomPicture(6);
    const auto source = randomPicture(7);
    for (auto _ : state) {
        copyAboveKey(target.data(), source.data(), 0x800000u);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

void BM_invertPicture(benchmark::State& state) {
    auto target = randomPicture(8);
    for (auto _ : state) {
        invertPicture(target.data());
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

void BM_copyPicture(benchmark::State& state) {
    auto target = randomPicture(9);
    const auto source = randomPicture(10);
    for (auto _ : state) {
        copyPicture(target.data(), source.data());
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

// A 512 x 256 picture at (0, 0) of a 384-row buffer: 255 rows of 511 pixels.
void BM_blitImage(benchmark::State& state) {
    auto target = std::vector<Pixel>(kScreenPixels);
    auto pixels = randomPicture(11);
    const Image image{kPictureWidth, kPictureHeight, pixels.data()};
    for (auto _ : state) {
        blitImage(target.data(), kScreenHeight, 0, 0, &image);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}

}  // namespace

BENCHMARK(BM_blur2x2);
BENCHMARK(BM_blur2x2StepByStep);
BENCHMARK(BM_crossFade);
BENCHMARK(BM_copyBelowKey);
BENCHMARK(BM_copyAboveKey);
BENCHMARK(BM_invertPicture);
BENCHMARK(BM_copyPicture);
BENCHMARK(BM_blitImage);
