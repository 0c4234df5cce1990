// The magnitude spectrum of 1024 music samples: mono mix, Hann window, real FFT, scaled magnitudes.
//
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
//
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
//
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
#pragma once

#include <kissfft/kiss_fftr.h>

#include <cstddef>
#include <cstdint>

constexpr int kSpectrumSize = 1024;  // samples per transform
constexpr int kSpectrumBins = 512;   // magnitudes produced, bin 0 (DC) to bin 511
static_assert(kSpectrumBins * 2 == kSpectrumSize);

// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
struct SpectrumWork {
    kiss_fftr_cfg plan;           // kissfft real-FFT plan for 1024 samples; null when released
    float window[kSpectrumSize];  // periodic Hann weights, 0 … 1
    float mixed[kSpectrumSize];   // windowed mono mix of the current block, -1 … 1
    kiss_fft_cpx bins[kSpectrumSize / 2 + 1];  // complex FFT output, bins 0 … 512
};

// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
bool createSpectrumWork(SpectrumWork* work);

// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
void releaseSpectrumWork(SpectrumWork* work);

// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
// The spectrum of the music: 1024 samples, a Hann window, a real FFT, magnitudes on our scale.
void computeSpectrum(const int16_t* interleaved, size_t frameCount, int channels, size_t startFrame,
                     float out[kSpectrumBins], SpectrumWork* work);
