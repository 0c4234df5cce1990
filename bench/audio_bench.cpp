// Speed of the music work: one spectrum and one full music clock update per frame, and what
// start-up spends on the music (run from the folder that holds data/).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "music/fft.h"
#include "platform/audio.h"
#include "show/music_clock.h"

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

// The show's music: $BRINDLEHOP_MUSIC, else data/tolvik_tune.ogg in the working folder.
const char* showMusicPath() {
    const char* path = std::getenv("BRINDLEHOP_MUSIC");
    return path != nullptr ? path : "data/tolvik_tune.ogg";
}

// Start-up as it was: the whole piece decoded before the first frame.
void BM_StartupDecodeWholeMusic(benchmark::State& state) {
    for (auto _ : state) {
        DecodedMusic music{};
        if (!decodeMusicFile(&music, showMusicPath())) {
            state.SkipWithError("cannot decode the show's music; run from the source folder");
            return;
        }
        benchmark::DoNotOptimize(music.samples);
        releaseDecodedMusic(&music);
    }
}
BENCHMARK(BM_StartupDecodeWholeMusic)->Unit(benchmark::kMillisecond);

// Start-up now: read the file, check every page, read the headers, decode the first second.
void BM_StartupOpenMusicAndFirstSecond(benchmark::State& state) {
    for (auto _ : state) {
        MusicStream stream;
        if (!openMusicStream(&stream, showMusicPath())) {
            state.SkipWithError("cannot open the show's music; run from the source folder");
            return;
        }
        benchmark::DoNotOptimize(decodeMusicUntil(&stream, 44100));
        closeMusicStream(&stream);
    }
}
BENCHMARK(BM_StartupOpenMusicAndFirstSecond)->Unit(benchmark::kMillisecond);

// The page check alone, on the file in memory.
void BM_CheckOggPages(benchmark::State& state) {
    std::vector<unsigned char> bytes;
    if (FILE* file = std::fopen(showMusicPath(), "rb")) {
        unsigned char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    if (bytes.empty()) {
        state.SkipWithError("cannot read the show's music; run from the source folder");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(checkOggPages(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_CheckOggPages)->Unit(benchmark::kMillisecond);

}  // namespace
