// The music clock of the show: play position and spectrum once per frame, and the beat test.
//
// Usage:
//
//   MusicClock clock{MusicClockMode::kLive, &player};      // the show, playing through the device
//   MusicClock capture{MusicClockMode::kOffline, nullptr, &music, 0, 60, &work};  // for capture
//   updateMusicClock(&clock, &musicTime, spectrum);          // once at start, then once per frame
//   if (beat(spectrum[0], 3.0)) { ... }                      // 30 × s0 ≥ 3
//   ++capture.frameNumber;                                   // offline: after each presented frame
//
// Live mode reads the audio player (silent clock and unchanged spectrum when it has no stream);
// offline mode derives the time from a frame counter, so every run gives the same bits.
#pragma once

#include <cstdint>

#include "platform/audio.h"

enum class MusicClockMode : uint8_t {
    kLive,     // position heard from the playing device
    kOffline,  // position = frameNumber / frameRate, spectrum from the decoded samples there
};

// Where updateMusicClock takes its time and spectrum from.
struct MusicClock {
    MusicClockMode mode = MusicClockMode::kLive;  // live or offline
    AudioPlayer* player = nullptr;        // live: the player started at start-up; unused offline
    const DecodedMusic* music = nullptr;  // offline: the decoded music, or null/empty for silence
    uint64_t frameNumber = 0;       // offline: frames presented so far; the caller advances it
    uint32_t frameRate = 60;        // offline: frames per second, > 0
    SpectrumWork* work = nullptr;   // offline: FFT plan and scratch, made by the caller
    MusicStream* stream = nullptr;  // offline: the stream music lies in, decoded here as far as
                                    // each frame reads; null when music is decoded whole
};

// Refreshes musicTime (seconds, looping at the music's end) and the 512 spectrum bins from the
// clock's source. A source with no music leaves spectrum as it was.
void updateMusicClock(MusicClock* clock, float* musicTime, float spectrum[kSpectrumBins]);

// The beat test: 30 × value ≥ threshold, with the product formed in double from the float.
bool beat(float value, double threshold);
