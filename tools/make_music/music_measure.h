// Decoding the tune back and measuring how often each beat test of the show fires, scene by scene.
//
// Usage (the make_music tool and the music test both measure this way):
//
//   DecodedTune tune;
//   if (!decodeTune("data/tolvik_tune.ogg", &tune)) { ... }
//   std::vector<FrameBins> frames = spectrumPerFrame(tune);   // 60 frames per second
//   BeatRate rate = measureBeatTest(frames, kBeatTests[0]);   // share of the scene's frames
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "music/fft.h"
#include "music/music.h"

constexpr int kMeasureFps = 60;  // frames per second of the measurement
constexpr int kMeasureBins = 8;  // spectrum bins kept per frame (the show reads 0 … 6)
constexpr int kSceneCount = 6;
constexpr double kSceneEnds[kSceneCount] = {19.0, 38.0, 57.0, 77.0, 96.0, 100.0};  // seconds
constexpr double kBeatPeriod = 0.475;  // seconds per beat of the tune
constexpr double kOnBeatSpan = 0.16;   // a pass whose window ends this soon after a beat is on it
constexpr double kSpectrumSeconds = 1024.0 / 44100.0;  // span of one spectrum window

// A decoded tune as the show's audio back end holds it: interleaved 16-bit samples.
struct DecodedTune {
    int rate = 0;                  // samples per second per channel
    int channels = 0;              // interleaved channels per frame
    size_t frames = 0;             // sample frames (samples per channel)
    std::vector<int16_t> samples;  // frames × channels values
};

// One measured video frame: its play position and the lowest spectrum bins there.
struct FrameBins {
    double time;                           // play position, seconds (frame / 60)
    std::array<float, kMeasureBins> bins;  // spectrum bins 0 … 7, show scale
};

// One beat test of the show: which scene, which bin, which threshold, what rate it may have.
struct BeatTest {
    int scene;         // 1 … 6
    int bin;           // spectrum bin tested
    double threshold;  // passes when 30 × bin ≥ threshold
    double maxRate;    // highest share of the scene's frames allowed (inversions flash less)
    const char* use;   // what the pass drives in the show
};

constexpr double kMinRate = 0.02;  // every test fires on at least this share of its scene
constexpr BeatTest kBeatTests[] = {
    {1, 0, 3.0, 0.25, "invert + overlay"}, {2, 0, 3.0, 0.50, "overlay counter"},
    {2, 1, 3.0, 0.50, "overlay counter"},  {2, 2, 3.0, 0.50, "overlay counter"},
    {3, 0, 1.0, 0.50, "blur pass 2"},      {3, 0, 2.0, 0.50, "blur pass 3"},
    {3, 0, 3.0, 0.50, "blur pass 4"},      {4, 0, 4.0, 0.50, "overlay counter"},
    {4, 1, 4.0, 0.50, "overlay counter"},  {4, 2, 4.0, 0.50, "overlay counter"},
    {4, 3, 3.0, 0.50, "texture counter"},  {4, 5, 3.0, 0.50, "texture counter"},
    {4, 6, 3.0, 0.50, "texture counter"},  {4, 0, 8.0, 0.25, "invert"},
    {5, 1, 3.0, 0.50, "credit picture"},   {5, 0, 1.5, 0.50, "title card"},
};

// How one beat test fared over its scene.
struct BeatRate {
    int frames = 0;        // frames in the scene
    int passes = 0;        // frames on which the test passed
    int onBeat = 0;        // passes whose window ends within kOnBeatSpan after a beat
    int silentPasses = 0;  // passes on frames whose window holds only zero samples
    double rate() const { return frames > 0 ? static_cast<double>(passes) / frames : 0.0; }
    double onBeatShare() const { return passes > 0 ? static_cast<double>(onBeat) / passes : 0.0; }
};

// The scene (1 … 6) that shows a frame at play position t; 6 also for any time after 96 s.
inline int sceneAt(double t) {
    for (int s = 0; s < kSceneCount - 1; ++s) {
        if (t <= kSceneEnds[s]) return s + 1;
    }
    return kSceneCount;
}

// The show's beat test, formed in double from the stored float.
inline bool beatPasses(float bin, double threshold) {
    return 30.0 * double{bin} >= threshold;
}

// Decodes a whole Ogg Vorbis file with the show's own decoder, so the samples are the ones the
// show hears; false (the decoder names the file and the fault on stderr) when it cannot.
inline bool decodeTune(const char* path, DecodedTune* tune) {
    DecodedMusic music{};
    if (!decodeMusicFile(&music, path)) return false;
    tune->rate = music.sampleRate;
    tune->channels = music.channels;
    tune->frames = music.frameCount;
    tune->samples.assign(music.samples,
                         music.samples + music.frameCount * static_cast<size_t>(music.channels));
    releaseDecodedMusic(&music);
    return true;
}

// The spectrum at every 60th of a second of the tune, from the start to the last whole window.
// offset (seconds, below 1/60) shifts every position, standing for a show whose frames fall
// elsewhere between the same two 60ths.
inline std::vector<FrameBins> spectrumPerFrame(const DecodedTune& tune, double offset = 0.0) {
    std::vector<FrameBins> frames;
    SpectrumWork work;
    if (!createSpectrumWork(&work) || tune.rate <= 0) return frames;
    float bins[kSpectrumBins];
    for (int f = 0;; ++f) {
        const double t = static_cast<double>(f) / kMeasureFps + offset;
        const auto start = static_cast<size_t>(std::llround(t * tune.rate));
        if (start + kSpectrumSize > tune.frames) break;
        computeSpectrum(tune.samples.data(), tune.frames, tune.channels, start, bins, &work);
        FrameBins frame{t, {}};
        for (int k = 0; k < kMeasureBins; ++k)
            frame.bins[k] = bins[k];
        frames.push_back(frame);
    }
    releaseSpectrumWork(&work);
    return frames;
}

// True when the window at play position t ends within kOnBeatSpan after a beat of the tune.
inline bool onTheBeat(double t) {
    const double sinceBeat = std::fmod(t + kSpectrumSeconds, kBeatPeriod);
    return sinceBeat <= kOnBeatSpan;
}

// Counts one test's passes over its scene. silent marks frames whose window is all zeros.
inline BeatRate measureBeatTest(const std::vector<FrameBins>& frames, const BeatTest& test,
                                const std::vector<bool>* silent = nullptr) {
    BeatRate rate;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (sceneAt(frames[i].time) != test.scene) continue;
        ++rate.frames;
        if (!beatPasses(frames[i].bins[test.bin], test.threshold)) continue;
        ++rate.passes;
        if (onTheBeat(frames[i].time)) ++rate.onBeat;
        if (silent != nullptr && (*silent)[i]) ++rate.silentPasses;
    }
    return rate;
}

// For each measured frame, whether its 1024-sample window holds only zero samples.
inline std::vector<bool> silentFrames(const DecodedTune& tune,
                                      const std::vector<FrameBins>& frames) {
    std::vector<bool> silent;
    for (const FrameBins& frame : frames) {
        const auto start = static_cast<size_t>(std::llround(frame.time * tune.rate));
        bool quiet = true;
        for (size_t i = start * tune.channels;
             i < (start + kSpectrumSize) * tune.channels && i < tune.samples.size() && quiet; ++i) {
            quiet = tune.samples[i] == 0;
        }
        silent.push_back(quiet);
    }
    return silent;
}
