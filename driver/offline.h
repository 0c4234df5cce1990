// The music as the offline runs (headless, capture, bench) play it: decoded, on a frame clock.
#pragma once

#include <cstdint>

#include "driver/asset_table.h"
#include "driver/music_clock.h"
#include "driver/options.h"

// Decoded music, its FFT work and the offline clock over them. The clock points into the record,
// so the record stays where it was opened.
struct OfflineMusic {
    DecodedMusic music;  // the samples; empty when the file could not be decoded
    SpectrumWork work;   // FFT plan and scratch for the clock's spectrum
    MusicClock clock;    // offline, frame n at n / fps seconds
};

// Decodes the music and sets the clock up at fps; false (and silence on the clock) when the
// file could not be decoded, after the decoder's message naming it.
bool openOfflineMusic(OfflineMusic* offline, uint32_t fps);

// Frees the samples and the FFT work.
void releaseOfflineMusic(OfflineMusic* offline);

// Frames an offline run draws at most: up to --until, else 10 s past the music's end (or past
// 100 s without music), since with silence in the lowest band the last scene never ends.
uint64_t offlineFrameLimit(const OfflineMusic& offline, const Options& options);
