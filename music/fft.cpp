// The magnitude spectrum of 1024 music samples: mono mix, Hann window, real FFT, scaled magnitudes.
#include "music/fft.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

// Magnitudes are divided by the window's sum (512), so DC reads its level and a full-scale sine,
// whose energy splits between bins k and 1024 - k, reads 0.5.
constexpr double kMagnitudeScale = 1.0 / 512.0;

// Mixes frames [first, first + count) of the stream into mixed[at …], windowed.
void mixBlock(const int16_t* interleaved, int channels, size_t first, size_t count, size_t at,
              SpectrumWork* work) {
    const int16_t* src = interleaved + first * static_cast<size_t>(channels);
    float* dst = work->mixed + at;
    const float* weight = work->window + at;
    if (channels == 2) {
        // The sum of two 16-bit samples and the power-of-two scale are exact in float.
        for (size_t i = 0; i < count; ++i) {
            const int32_t sum = int32_t{src[2 * i]} + int32_t{src[2 * i + 1]};
            dst[i] = static_cast<float>(sum) * (1.0f / 65536.0f) * weight[i];
        }
    } else if (channels == 1) {
        for (size_t i = 0; i < count; ++i) {
            dst[i] = static_cast<float>(src[i]) * (1.0f / 32768.0f) * weight[i];
        }
    } else {
        const double scale = 1.0 / (32768.0 * channels);
        for (size_t i = 0; i < count; ++i) {
            int32_t sum = 0;
            for (int c = 0; c < channels; ++c) {
                sum += src[i * static_cast<size_t>(channels) + static_cast<size_t>(c)];
            }
            dst[i] = static_cast<float>(sum * scale) * weight[i];
        }
    }
}

}  // namespace

bool createSpectrumWork(SpectrumWork* work) {
    work->plan = kiss_fftr_alloc(kSpectrumSize, 0, nullptr, nullptr);
    if (work->plan == nullptr) {
        std::fprintf(stderr, "spectrum: cannot allocate the 1024-sample FFT plan\n");
        return false;
    }
    // Periodic Hann (denominator N, not N - 1): its weights sum to exactly N / 2, which makes the
    // magnitude scale come out as whole numbers for DC and bin-centred sines.
    for (int n = 0; n < kSpectrumSize; ++n) {
        const double phase = 2.0 * std::numbers::pi * n / kSpectrumSize;
        work->window[n] = static_cast<float>(0.5 - 0.5 * std::cos(phase));
    }
    return true;
}

void releaseSpectrumWork(SpectrumWork* work) {
    if (work->plan != nullptr) {
        kiss_fftr_free(work->plan);
        work->plan = nullptr;
    }
}

void computeSpectrum(const int16_t* interleaved, size_t frameCount, int channels, size_t startFrame,
                     float out[kSpectrumBins], SpectrumWork* work) {
    if (interleaved == nullptr || frameCount == 0 || channels < 1 || work == nullptr ||
        work->plan == nullptr) {
        for (int k = 0; k < kSpectrumBins; ++k) {
            out[k] = 0.0f;
        }
        return;
    }
    // Copy in runs up to the loop end; a stream shorter than the block wraps several times.
    size_t frame = startFrame % frameCount;
    size_t filled = 0;
    while (filled < kSpectrumSize) {
        const size_t run = std::min(frameCount - frame, kSpectrumSize - filled);
        mixBlock(interleaved, channels, frame, run, filled, work);
        filled += run;
        frame = 0;
    }
    kiss_fftr(work->plan, work->mixed, work->bins);
    for (int k = 0; k < kSpectrumBins; ++k) {
        const double re = work->bins[k].r;
        const double im = work->bins[k].i;
        out[k] = static_cast<float>(std::sqrt(re * re + im * im) * kMagnitudeScale);
    }
}
