// Writing frames as PNG files, and the checksum of a frame.
#pragma once

#include <cstdint>
#include <vector>

#include "effects/pixel.h"

// Writes width x height Pixels (pitch = width) as an 8-bit RGB PNG; false when the file cannot be
// written. The bytes go to path + ".partial", renamed to path once complete, so path is either
// the whole picture or absent; the partial file is removed on failure. Allocates: for frame
// dumps and previews, never in the show's frame cycle.
bool writePng(const char* path, const Pixel* pixels, int width, int height);

// The bytes of an 8-bit PNG file of width x height pixels of 3 (RGB) or 4 (RGBA) channels, from
// its rows as PNG stores them before compression (filter byte 0, then the channels of each pixel),
// deflated at zlib level 0..9; empty when zlib fails.
std::vector<uint8_t> encodePng(const std::vector<uint8_t>& rows, int width, int height,
                               int channels, int level);

// CRC-32 (as in zlib and PNG) of the Pixels as little-endian bytes.
uint32_t frameChecksum(const Pixel* pixels, int count);
