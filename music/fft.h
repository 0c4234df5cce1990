// The magnitude spectrum of 1024 music samples: mono mix, Hann window, real FFT, scaled magnitudes.
//
// Usage (the FFT plan is made once at start-up, never per frame):
//
//   SpectrumWork work;
//   createSpectrumWork(&work);
//   float bins[kSpectrumBins];
//   computeSpectrum(samples, frameCount, 2, startFrame, bins, &work);  // once per frame
//   ...
//   releaseSpectrumWork(&work);
//
// The scale: bin k is |X[k]| / 512, where X is the FFT of the Hann-windowed mono mix with samples
// in -1 … 1. The periodic Hann window sums to exactly 512 over 1024 samples, so a constant level a
// reads a in bin 0, and a full-scale sine centred on bin k (1 ≤ k ≤ 511) reads 0.5 there.
// Bin k lies at k × sampleRate / 1024 Hz.
#pragma once

#include <kissfft/kiss_fftr.h>

#include <cstddef>
#include <cstdint>

constexpr int kSpectrumSize = 1024;  // samples per transform
constexpr int kSpectrumBins = 512;   // magnitudes produced, bin 0 (DC) to bin 511
static_assert(kSpectrumBins * 2 == kSpectrumSize);

// Scratch and plan of one spectrum computation; one per thread that computes spectra.
struct SpectrumWork {
    kiss_fftr_cfg plan;           // kissfft real-FFT plan for 1024 samples; null when released
    float window[kSpectrumSize];  // periodic Hann weights, 0 … 1
    float mixed[kSpectrumSize];   // windowed mono mix of the current block, -1 … 1
    kiss_fft_cpx bins[kSpectrumSize / 2 + 1];  // complex FFT output, bins 0 … 512
};

// Makes the FFT plan and the window; false (with a message on stderr) when kissfft cannot allocate.
bool createSpectrumWork(SpectrumWork* work);

// Frees the plan; safe on a work record that was never created or already released.
void releaseSpectrumWork(SpectrumWork* work);

// Writes the 512 magnitudes of the 1024 frames starting at startFrame into out. Frames are read
// from the interleaved 16-bit samples (channels per frame, 1 or more), wrapping at frameCount as a
// looping stream does; startFrame may be any value (taken modulo frameCount). With no frames, no
// channels, or no work or plan, out is all zero.
void computeSpectrum(const int16_t* interleaved, size_t frameCount, int channels, size_t startFrame,
                     float out[kSpectrumBins], SpectrumWork* work);
