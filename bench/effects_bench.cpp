// Speed of the frame buffer effects, each over one 512 x 256 picture, reported per pixel.
#include <benchmark/benchmark.h>

#include <cstring>
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

// One target and one source for every pass, refilled for each. With buffers allocated afresh per
// pass, the passes after the first few ran about a third slower than each run alone (memcpy
// included), as the allocator placed the pairs differently; the comparison with memcpy, which
// runs first, then depended on the order.
std::vector<Pixel>& sharedTarget() {
    static std::vector<Pixel> target(kPicturePixels + kMaxEffectReach);
    return target;
}
std::vector<Pixel>& sharedSource() {
    static std::vector<Pixel> source(kPicturePixels + kMaxEffectReach);
    return source;
}

// Runs pass(target, source) over fresh random pictures and reports the time per picture pixel.
template <typename Pass>
void timePass(benchmark::State& state, Pass pass) {
    std::vector<Pixel>& target = sharedTarget();
    std::vector<Pixel>& source = sharedSource();
    target = randomPicture(1);
    source = randomPicture(2);
    for (auto _ : state) {
        pass(target.data(), source.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_pixel"] =
        benchmark::Counter(double(kPicturePixels), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// The step-by-step blur, for comparison: four reads, an average and four writes per pixel.
void blurStepByStep(Pixel* p) {
    for (int32_t y = 0; y < kPictureHeight; ++y) {
        for (int32_t x = 0; x < kPitch; ++x) {
            const int32_t i = y * kPitch + x;
            averageQuad(p, x, y, p[i], p[i + 1], p[i + kPitch], p[i + kPitch + 1]);
        }
    }
}

// A 512 x 256 picture at (0, 0) of a 384-row buffer: 255 rows of 511 pixels.
void BM_blitImage(benchmark::State& state) {
    std::vector<Pixel> target(kScreenPixels);
    auto pixels = randomPicture(3);
    const Image image{kPictureWidth, kPictureHeight, pixels.data()};
    timePass(state,
             [&](Pixel*, const Pixel*) { blitImage(target.data(), kScreenHeight, 0, 0, &image); });
}

}  // namespace

// The floor every single-pass effect is measured against: the C library's copy of one picture.
BENCHMARK_CAPTURE(timePass, memcpy, [](Pixel* t, const Pixel* s) {
    std::memcpy(t, s, sizeof(Pixel) * kPicturePixels);
});
// The ones the show runs every frame.
BENCHMARK_CAPTURE(timePass, blur2x2, [](Pixel* t, const Pixel*) { blur2x2(t); });
BENCHMARK_CAPTURE(timePass, blur2x2StepByStep, [](Pixel* t, const Pixel*) { blurStepByStep(t); });
BENCHMARK_CAPTURE(timePass, crossFade, [](Pixel* t, const Pixel* s) { crossFade(t, s, 100); });
BENCHMARK_CAPTURE(timePass, copyBelowKey,
                  [](Pixel* t, const Pixel* s) { copyBelowKey(t, s, 0x800000u); });
BENCHMARK_CAPTURE(timePass, copyAboveKey,
                  [](Pixel* t, const Pixel* s) { copyAboveKey(t, s, 0x800000u); });
BENCHMARK_CAPTURE(timePass, invertPicture, [](Pixel* t, const Pixel*) { invertPicture(t); });
BENCHMARK_CAPTURE(timePass, copyPicture, [](Pixel* t, const Pixel* s) { copyPicture(t, s); });
// The 3D scene's backdrop and overlay: one pass, and the two it stands for.
BENCHMARK_CAPTURE(timePass, overlayAboveKey,
                  [](Pixel* t, const Pixel* s) { overlayAboveKey(t, s, s + 7, 0x111111u); });
BENCHMARK_CAPTURE(timePass, copyPictureThenCopyAboveKey, [](Pixel* t, const Pixel* s) {
    copyPicture(t, s);
    copyAboveKey(t, s + 7, 0x111111u);
});
BENCHMARK(BM_blitImage);
// The rest of the set.
BENCHMARK_CAPTURE(timePass, overlayNonZero,
                  [](Pixel* t, const Pixel* s) { overlayNonZero(t, s, s + 7); });
BENCHMARK_CAPTURE(timePass, copyUnlessKey,
                  [](Pixel* t, const Pixel* s) { copyUnlessKey(t, s, 0x111111); });
BENCHMARK_CAPTURE(timePass, copyUnlessRedKey,
                  [](Pixel* t, const Pixel* s) { copyUnlessRedKey(t, s); });
BENCHMARK_CAPTURE(timePass, alphaBlendLowByte,
                  [](Pixel* t, const Pixel* s) { alphaBlendLowByte(t, s); });
BENCHMARK_CAPTURE(timePass, subtractFromGrey,
                  [](Pixel* t, const Pixel*) { subtractFromGrey(t, 200); });
BENCHMARK_CAPTURE(timePass, whitenNonZero, [](Pixel* t, const Pixel*) { whitenNonZero(t); });
BENCHMARK_CAPTURE(timePass, foldTopHalf, [](Pixel* t, const Pixel*) { foldTopHalf(t); });
BENCHMARK_CAPTURE(timePass, mosaic2x2, [](Pixel* t, const Pixel*) { mosaic2x2(t); });
