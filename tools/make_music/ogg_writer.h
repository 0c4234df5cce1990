// Encoding a stereo track to an Ogg Vorbis file, byte for byte the same on every run.
#pragma once

#include <string>

#include "tools/make_music/synth.h"

// Writes track to path as 44.1 kHz stereo Ogg Vorbis at the given VBR quality (0 … 1). False, with
// a message naming the file in error, when the encoder refuses or the file cannot be written.
bool encodeOggVorbis(const StereoTrack& track, const char* path, float quality, std::string* error);
