// Tests of the music back end: spectrum scale, decoding, the play clock, the music clock and beats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "platform/spectrum.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Full-scale 16-bit amplitude; the mix divides by 32768, so this reads just under 1.
constexpr double kFullScale = 32767.0;

// Interleaved frames of a sine at `cycles` cycles per 1024 frames, same on every channel.
std::vector<int16_t> sineFrames(size_t frames, int channels, double cycles, double amplitude) {
    std::vector<int16_t> out(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * kPi * cycles * static_cast<double>(i) / 1024.0);
        for (int c = 0; c < channels; ++c) {
            out[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(v));
        }
    }
    return out;
}

// Slow, obvious spectrum: direct DFT in double of the Hann-windowed mono mix, wrapping at the end.
std::vector<double> referenceSpectrum(const std::vector<int16_t>& interleaved, int channels,
                                      size_t startFrame) {
    const size_t frames = interleaved.size() / static_cast<size_t>(channels);
    std::vector<double> x(1024);
    for (size_t n = 0; n < 1024; ++n) {
        const size_t f = (startFrame + n) % frames;
        double sum = 0.0;
        for (int c = 0; c < channels; ++c) {
            sum += interleaved[f * static_cast<size_t>(channels) + static_cast<size_t>(c)];
        }
        const double window = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(n) / 1024.0);
        x[n] = sum / channels / 32768.0 * window;
    }
    std::vector<double> mags(512);
    for (size_t k = 0; k < 512; ++k) {
        double re = 0.0;
        double im = 0.0;
        for (size_t n = 0; n < 1024; ++n) {
            const double phase = 2.0 * kPi * static_cast<double>((k * n) % 1024) / 1024.0;
            re += x[n] * std::cos(phase);
            im -= x[n] * std::sin(phase);
        }
        mags[k] = std::sqrt(re * re + im * im) / 512.0;
    }
    return mags;
}

class SpectrumTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(createSpectrumWork(&work)); }
    void TearDown() override { releaseSpectrumWork(&work); }
    SpectrumWork work{};
    float bins[kSpectrumBins]{};
};

TEST_F(SpectrumTest, ConstantLevelReadsItsLevelInBinZero) {
    for (int16_t level : {int16_t{16384}, int16_t{-8192}, int16_t{32767}, int16_t{1}}) {
        const std::vector<int16_t> samples(2048 * 2, level);
        computeSpectrum(samples.data(), 2048, 2, 100, bins, &work);
        EXPECT_NEAR(bins[0], std::abs(level / 32768.0), 1e-5) << level;
        // The Hann window spreads DC into bin 1 at half the level and nowhere else.
        EXPECT_NEAR(bins[1], std::abs(level / 32768.0) / 2, 1e-5) << level;
        for (int k = 2; k < kSpectrumBins; ++k) {
            ASSERT_NEAR(bins[k], 0.0, 1e-5) << k;
        }
    }
}

TEST_F(SpectrumTest, FullScaleSineAtBinCentreReadsHalf) {
    for (int k : {1, 3, 10, 100, 255, 511}) {
        const std::vector<int16_t> samples = sineFrames(1024, 2, k, kFullScale);
        computeSpectrum(samples.data(), 1024, 2, 0, bins, &work);
        EXPECT_NEAR(bins[k], 0.5 * kFullScale / 32768.0, 1e-5) << k;
        // Hann leaks a bin-centred sine only into its two neighbours, at a quarter.
        if (k > 1) {
            EXPECT_NEAR(bins[k - 1], 0.25 * kFullScale / 32768.0, 1e-5) << k;
        }
        if (k < 511) {
            EXPECT_NEAR(bins[k + 1], 0.25 * kFullScale / 32768.0, 1e-5) << k;
        }
        for (int j = 0; j < kSpectrumBins; ++j) {
            if (std::abs(j - k) > 1) {
                ASSERT_NEAR(bins[j], 0.0, 1e-5) << k << " " << j;
            }
        }
    }
}

TEST_F(SpectrumTest, MonoMixIsTheMeanOfTheChannels) {
    // Left carries the sine, right silence: the mix is the sine at half amplitude.
    std::vector<int16_t> samples = sineFrames(1024, 2, 20, kFullScale);
    for (size_t i = 1; i < samples.size(); i += 2) {
        samples[i] = 0;
    }
    computeSpectrum(samples.data(), 1024, 2, 0, bins, &work);
    EXPECT_NEAR(bins[20], 0.25 * kFullScale / 32768.0, 1e-5);
    // Opposite phases on the two channels cancel.
    for (size_t i = 1; i < samples.size(); i += 2) {
        samples[i] = static_cast<int16_t>(-samples[i - 1]);
    }
    computeSpectrum(samples.data(), 1024, 2, 0, bins, &work);
    for (int k = 0; k < kSpectrumBins; ++k) {
        ASSERT_NEAR(bins[k], 0.0, 1e-6) << k;
    }
}

TEST_F(SpectrumTest, MatchesDirectDftOnRandomSignalsWithWrap) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    // Lengths below, at and above one block; channel counts 1, 2 and 3; starts across the wrap.
    const struct {
        size_t frames;
        int channels;
        size_t start;
    } cases[] = {{3000, 2, 2500},          {1024, 2, 7}, {700, 1, 650}, {5000, 3, 4999},
                 {1500, 2, 1500 * 3 + 11}, {1, 2, 0}};
    for (const auto& c : cases) {
        std::vector<int16_t> samples(c.frames * static_cast<size_t>(c.channels));
        for (int16_t& s : samples) {
            s = static_cast<int16_t>(sample(rng));
        }
        computeSpectrum(samples.data(), c.frames, c.channels, c.start, bins, &work);
        const std::vector<double> expected = referenceSpectrum(samples, c.channels, c.start);
        for (int k = 0; k < kSpectrumBins; ++k) {
            ASSERT_GE(bins[k], 0.0f);
            ASSERT_NEAR(bins[k], expected[static_cast<size_t>(k)], 2e-5)
                << c.frames << " frames, bin " << k;
        }
    }
}

TEST_F(SpectrumTest, EmptyInputGivesZeros) {
    for (float& b : bins) {
        b = 7.0f;
    }
    computeSpectrum(nullptr, 0, 2, 0, bins, &work);
    for (float b : bins) {
        ASSERT_EQ(b, 0.0f);
    }
    const int16_t one[2] = {1000, 1000};
    computeSpectrum(one, 1, 0, 0, bins, &work);
    for (float b : bins) {
        ASSERT_EQ(b, 0.0f);
    }
}

}  // namespace
