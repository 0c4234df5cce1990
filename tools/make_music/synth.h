// The show's tune, written out as samples: instruments, score and mix.
//
// Usage:
//
//   StereoTrack track = renderTune();            // about 104 s of 44.1 kHz stereo
//   encodeOggVorbis(track, "data/tolvik_tune.ogg", &error);
#pragma once

#include <cstddef>
#include <vector>

constexpr int kTuneRate = 44100;       // samples per second per channel
constexpr double kTuneBeat = 0.475;    // seconds per beat (126.3 BPM): 40 beats per 19 s
constexpr double kTuneLength = 104.0;  // seconds of music in the file

// Two channels of samples at kTuneRate, nominally within -1 … 1.
struct StereoTrack {
    std::vector<float> left;   // left channel
    std::vector<float> right;  // right channel, same length as left
};

// Renders the whole tune; the same samples on every call (all noise comes from fixed seeds).
StereoTrack renderTune();
