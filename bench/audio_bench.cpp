// Speed of the per-frame music work: one spectrum and one full music clock update.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "driver/music_clock.h"
#include "platform/audio_fft.h"

namespace {

// Two seconds of a stereo chord, enough that the window never sits at the same place twice.
std::vector<int16_t> testMusic() {
    const size_t frames = 88200;
    std::vector<int16_t> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const double v = 8000.0 * std::sin(2.0 * std::numbers::pi * 110.0 * t) +
                         6000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * t);
        samples[2 * i] = static_cast<int16_t>(v);
        samples[2 * i + 1] = static_cast<int16_t>(-v);
    }
    return samples;
}

// Mix, window, 1024-point real FFT and 512 magnitudes, starting each time 735 frames further on.
void BM_Spectrum(benchmark::State& state) {
    const std::vector<int16_t> samples = testMusic();
    SpectrumWork work{};
    createSpectrumWork(&work);
    float bins[kSpectrumBins];
    size_t start = 0;
    for (auto _ : state) {
        computeSpectrum(samples.data(), samples.size() / 2, 2, start, bins, &work);
        benchmark::DoNotOptimize(bins);
        start += 735;
    }
    releaseSpectrumWork(&work);
}
BENCHMARK(BM_Spectrum);

// The offline clock as capture uses it: position plus spectrum, one video frame at a time.
void BM_OfflineMusicClock(benchmark::State& state) {
    std::vector<int16_t> samples = testMusic();
    const DecodedMusic music{samples.data(), samples.size() / 2, 2, 44100};
    SpectrumWork work{};
    createSpectrumWork(&work);
    MusicClock clock{MusicClockMode::kOffline, nullptr, &music, 0, 60, &work};
    float musicTime = 0.0f;
    float spectrum[kSpectrumBins];
    for (auto _ : state) {
        updateMusicClock(&clock, &musicTime, spectrum);
        benchmark::DoNotOptimize(spectrum);
        ++clock.frameNumber;
    }
    releaseSpectrumWork(&work);
}
BENCHMARK(BM_OfflineMusicClock);

}  // namespace
