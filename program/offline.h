// The music as the offline runs (headless, capture, bench) play it: decoded, on a frame clock.
#pragma once

#include <cstdint>
#include <string>

#include "program/options.h"
#include "show/asset_table.h"
#include "show/music_clock.h"

// The music, its FFT work and the offline clock over them. The clock points into the record,
// so the record stays where it was opened.
struct OfflineMusic {
    MusicStream stream;  // decoded as the clock reads it and by a thread; empty when unusable
    SpectrumWork work;   // FFT plan and scratch for the clock's spectrum
    MusicClock clock;    // offline, frame n at n / fps seconds
};

// Opens the music, starts decoding it in the background and sets the clock up at fps; false
// (and silence on the clock) when the file is missing, damaged or not music, after the
// decoder's message naming it. A piece shorter than the show gets a warning on stderr.
bool openOfflineMusic(OfflineMusic* offline, uint32_t fps);

// Frees the samples and the FFT work.
void releaseOfflineMusic(OfflineMusic* offline);

// Frames an offline run draws at most: up to --until, else 10 s past the music's end (or past
// 100 s without music), since with silence in the lowest band the last scene never ends.
uint64_t offlineFrameLimit(const OfflineMusic& offline, const Options& options);

// The warning for a piece shorter than the show ("" when it is long enough or absent): its
// length, and the scene in which the music loops and which then never ends.
std::string shortMusicWarning(const DecodedMusic& music, const char* path);

// Why an offline run stopped at its frame limit after `seconds` of show, for stderr.
std::string frameLimitNote(const OfflineMusic& offline, double seconds);
