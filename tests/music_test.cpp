// Checks of the committed tune: format, length, levels, and how often each beat test of the show
// fires on it, measured with the show's own spectrum at 60 frames per second.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tools/make_music/music_measure.h"

namespace {

const char* tunePath() {
    return BRINDLEHOP_SOURCE_DIR "/data/tolvik_tune.ogg";
}

// Decodes the tune and measures it once for the whole suite.
class TuneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tune_ = new DecodedTune;
        decoded_ = decodeTune(tunePath(), tune_);
        frames_ = new std::vector<FrameBins>(spectrumPerFrame(*tune_));
    }
    static void TearDownTestSuite() {
        delete frames_;
        delete tune_;
    }
    void SetUp() override { ASSERT_TRUE(decoded_) << tunePath(); }

    static inline DecodedTune* tune_ = nullptr;
    static inline std::vector<FrameBins>* frames_ = nullptr;
    static inline bool decoded_ = false;
};

// The slow, obvious spectrum: a direct DFT of the Hann-windowed mono mix, bin k, show scale.
double directBin(const DecodedTune& tune, size_t start, int k) {
    std::complex<double> sum = 0.0;
    for (int n = 0; n < kSpectrumSize; ++n) {
        const size_t frame = (start + n) % tune.frames;
        const double mono =
            (tune.samples[2 * frame] + static_cast<double>(tune.samples[2 * frame + 1])) / 65536.0;
        const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kSpectrumSize);
        sum += mono * window * std::polar(1.0, -2.0 * std::numbers::pi * k * n / kSpectrumSize);
    }
    return std::abs(sum) / 512.0;
}

TEST_F(TuneTest, IsStereoAt44100HzAndAbout104SecondsLong) {
    EXPECT_EQ(tune_->rate, 44100);
    EXPECT_EQ(tune_->channels, 2);
    const double seconds = static_cast<double>(tune_->frames) / tune_->rate;
    EXPECT_GE(seconds, 102.0);
    EXPECT_LE(seconds, 106.0);
}

TEST_F(TuneTest, NeverClipsAndFadesInOverFourSeconds) {
    size_t fullScale = 0;
    for (int16_t v : tune_->samples)
        fullScale += (v == 32767 || v == -32768) ? 1 : 0;
    EXPECT_EQ(fullScale, 0u);
    // RMS of the mono mix over a half-second span starting at `from` seconds.
    auto rms = [&](double from) {
        double sum = 0.0;
        const auto first = static_cast<size_t>(from * tune_->rate);
        const auto count = static_cast<size_t>(0.5 * tune_->rate);
        for (size_t i = first; i < first + count; ++i) {
            const double m =
                (tune_->samples[2 * i] + static_cast<double>(tune_->samples[2 * i + 1])) / 65536.0;
            sum += m * m;
        }
        return std::sqrt(sum / count);
    };
    EXPECT_LT(rms(0.0), 0.25 * rms(3.5));
    EXPECT_LT(rms(1.5), rms(3.5));
    EXPECT_GT(rms(6.0), 0.02);  // well under way after the fade
}

TEST_F(TuneTest, SpectrumMatchesDirectDftOnRandomFrames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> pick(0, frames_->size() - 1);
    for (int i = 0; i < 150; ++i) {
        const FrameBins& frame = (*frames_)[pick(random)];
        const auto start = static_cast<size_t>(std::llround(frame.time * tune_->rate));
        for (int k = 0; k < kMeasureBins; ++k) {
            const double expected = directBin(*tune_, start, k);
            EXPECT_NEAR(frame.bins[k], expected, 1e-5 + 1e-4 * expected)
                << "t = " << frame.time << " s, bin " << k;
        }
    }
}

TEST_F(TuneTest, EveryBeatTestFiresOnTheBeatAndNotTooOften) {
    const std::vector<bool> silent = silentFrames(*tune_, *frames_);
    for (const BeatTest& test : kBeatTests) {
        const BeatRate rate = measureBeatTest(*frames_, test, &silent);
        SCOPED_TRACE("scene " + std::to_string(test.scene) + ", 30*s" + std::to_string(test.bin) +
                     " >= " + std::to_string(test.threshold));
        EXPECT_GT(rate.frames, 19 * kMeasureFps - 2);
        EXPECT_GE(rate.rate(), kMinRate);
        EXPECT_LE(rate.rate(), test.maxRate);
        EXPECT_EQ(rate.silentPasses, 0);
        // By chance alone a third of the passes would follow a beat this closely.
        EXPECT_GE(rate.onBeatShare(), 0.75);
    }
}

TEST_F(TuneTest, RatesHoldWhereverTheFramesFall) {
    // The show's frames land anywhere between two 60ths of a second.
    for (int phase = 1; phase < 4; ++phase) {
        const std::vector<FrameBins> shifted = spectrumPerFrame(*tune_, phase / 240.0);
        for (const BeatTest& test : kBeatTests) {
            const BeatRate rate = measureBeatTest(shifted, test);
            SCOPED_TRACE("phase " + std::to_string(phase) + "/4, scene " +
                         std::to_string(test.scene) + ", bin " + std::to_string(test.bin));
            EXPECT_GE(rate.rate(), kMinRate);
            EXPECT_LE(rate.rate(), test.maxRate);
        }
    }
}

TEST_F(TuneTest, BinZeroStaysAliveAfterHundredSecondsSoTheShowEnds) {
    int after = 0;
    for (const FrameBins& frame : *frames_) {
        if (frame.time <= 100.0) continue;
        ++after;
        EXPECT_NE(frame.bins[0], 0.0f) << "t = " << frame.time;
    }
    EXPECT_GT(after, 60);  // at least a second of music past the end test
}

TEST_F(TuneTest, DistortionInputsStayModerate) {
    // Scene 1 zooms the plane by 150·s0 of 512 texels, scene 3 moves the object by 50·s0 and 50·s1.
    for (const FrameBins& frame : *frames_) {
        ASSERT_LT(frame.bins[0], 1.0f) << "t = " << frame.time;
        ASSERT_LT(frame.bins[1], 1.0f) << "t = " << frame.time;
    }
}

TEST(MusicMeasure, ScenesAndBeatTestsMeetAtTheirEdges) {
    EXPECT_EQ(sceneAt(0.0), 1);
    EXPECT_EQ(sceneAt(19.0), 1);  // a scene still runs at exactly its end time
    EXPECT_EQ(sceneAt(19.001), 2);
    EXPECT_EQ(sceneAt(57.0), 3);
    EXPECT_EQ(sceneAt(77.0), 4);
    EXPECT_EQ(sceneAt(96.0), 5);
    EXPECT_EQ(sceneAt(96.001), 6);
    EXPECT_EQ(sceneAt(250.0), 6);
    const float tenth = 0.1f;  // 0.100000001490116: 30 × it is just above 3
    EXPECT_TRUE(beatPasses(tenth, 3.0));
    EXPECT_FALSE(beatPasses(std::nextafter(tenth, 0.0f), 3.0));
    EXPECT_FALSE(beatPasses(0.0f, 1.0));
}

}  // namespace
