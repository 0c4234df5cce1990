// Checks of the committed tune: format, length, levels, and how often each beat test of the show
// fires on it, measured with the show's own spectrum at 60 frames per second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tools/make_music/music_measure.h"
// The generator's sources belong to its tool, not to a library: the test compiles the parts it
// checks (the Ogg writer, the instruments and the limiter) into itself.
#include "tools/make_music/ogg_writer.cpp"
#include "tools/make_music/synth.cpp"

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

// Encodes track to a file in the build tree and returns its bytes (empty when writing failed).
std::vector<char> encodeToBytes(const StereoTrack& track, const std::string& name) {
    const std::string path = std::string(BRINDLEHOP_BINARY_DIR "/") + name;
    std::string error;
    if (!encodeOggVorbis(track, path.c_str(), 0.45f, &error)) return {};
    std::vector<char> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        std::fclose(file);
    }
    return bytes;
}

TEST(MusicWriter, EncodesTheSameBytesTwiceAndDecodesBackToTheTrack) {
    // Half a second of a bin-centred tone (bin 10), twice as loud on the left as on the right.
    StereoTrack track;
    for (int n = 0; n < 22050; ++n) {
        const double v = std::sin(2.0 * std::numbers::pi * 10.0 * n / 1024.0);
        track.left.push_back(static_cast<float>(0.5 * v));
        track.right.push_back(static_cast<float>(0.25 * v));
    }
    const std::vector<char> first = encodeToBytes(track, "music_test_a.ogg");
    const std::vector<char> second = encodeToBytes(track, "music_test_b.ogg");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);

    DecodedTune decoded;
    ASSERT_TRUE(decodeTune(BRINDLEHOP_BINARY_DIR "/music_test_a.ogg", &decoded));
    EXPECT_EQ(decoded.rate, 44100);
    ASSERT_EQ(decoded.channels, 2);
    EXPECT_EQ(decoded.frames, track.left.size());  // the last block is neither lost nor padded
    double left = 0.0;
    double right = 0.0;
    for (size_t i = 4000; i < 18000; ++i) {
        left += std::fabs(decoded.samples[2 * i] / 32768.0);
        right += std::fabs(decoded.samples[2 * i + 1] / 32768.0);
    }
    EXPECT_NEAR(left / right, 2.0, 0.1);  // channels kept in order
    // The mono mix is a 0.375 sine on bin 10, which reads 0.1875.
    EXPECT_NEAR(directBin(decoded, 8000, 10), 0.1875, 0.01);
    EXPECT_LT(directBin(decoded, 8000, 0), 0.002);
    std::remove(BRINDLEHOP_BINARY_DIR "/music_test_a.ogg");
    std::remove(BRINDLEHOP_BINARY_DIR "/music_test_b.ogg");
}

TEST(MusicWriter, NamesAFileItCannotWrite) {
    StereoTrack track;
    track.left.assign(1000, 0.0f);
    track.right.assign(1000, 0.0f);
    std::string error;
    EXPECT_FALSE(encodeOggVorbis(track, "/no/such/folder/tune.ogg", 0.45f, &error));
    EXPECT_NE(error.find("/no/such/folder/tune.ogg"), std::string::npos);
}

TEST(MusicLimiter, HoldsTheCeilingAndLeavesQuietPassagesAlone) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> quiet(-0.3, 0.3);
    std::uniform_real_distribution<double> loud(0.9, 2.5);
    std::vector<double> left(40000);
    std::vector<double> right(40000);
    std::vector<size_t> spikes;
    for (size_t n = 0; n < left.size(); ++n) {
        left[n] = quiet(random);
        right[n] = quiet(random);
        // Loud bursts in the first half only, at the very start and end of their span too.
        if (n < 20000 && (n < 3 || n % 997 < 40)) {
            (n % 2 ? left[n] : right[n]) = (n % 3 ? 1.0 : -1.0) * loud(random);
            spikes.push_back(n);
        }
    }
    const std::vector<double> gain = limiterGain(left, right);
    ASSERT_EQ(gain.size(), left.size());
    for (size_t n = 0; n < gain.size(); ++n) {
        ASSERT_LE(gain[n], 1.0);
        ASSERT_GT(gain[n], 0.0);
        ASSERT_LE(std::fabs(gain[n] * left[n]), kLimiterCeiling + 1e-12) << n;
        ASSERT_LE(std::fabs(gain[n] * right[n]), kLimiterCeiling + 1e-12) << n;
    }
    // Half a second after the last burst the gain has come all the way back.
    for (size_t n = 20000 + 22050; n < gain.size(); ++n) {
        ASSERT_GT(gain[n], 0.999999) << n;
    }
    // A signal that never reaches the ceiling is not touched at all.
    std::vector<double> soft(left.begin() + 30000, left.end());
    for (double g : limiterGain(soft, soft))
        ASSERT_EQ(g, 1.0);
}

TEST(MusicInstruments, TheKickLiftsBinZeroOnItsBeatOnly) {
    // The loudest kick of the tune, alone, one second in; spectra at every millisecond around it.
    Bus bus;
    kick(bus, 1.0, 0.38, 0.12, 0.5, 0.05, 52.0);
    DecodedTune tune;
    tune.rate = 44100;
    tune.channels = 2;
    tune.frames = 2 * 44100;
    for (size_t n = 0; n < tune.frames; ++n) {
        tune.samples.push_back(static_cast<int16_t>(std::lround(bus.left[n] * 32767.0)));
        tune.samples.push_back(static_cast<int16_t>(std::lround(bus.right[n] * 32767.0)));
    }
    double strongest = 0.0;
    for (int ms = -25; ms <= 10; ++ms) {
        const auto start = static_cast<size_t>((1.0 + ms / 1000.0) * 44100);
        strongest = std::max(strongest, directBin(tune, start, 0));
    }
    EXPECT_GE(30.0 * strongest, 8.0);  // strong enough to invert the picture in the peak scene
    EXPECT_LT(30.0 * directBin(tune, static_cast<size_t>(1.15 * 44100), 0), 1.0);  // and gone
    EXPECT_LT(30.0 * directBin(tune, static_cast<size_t>(0.9 * 44100), 0), 1.0);   // not early
}

}  // namespace
