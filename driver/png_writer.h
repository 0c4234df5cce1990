// Writing frames as PNG files, and the checksum of a frame.
#pragma once

#include <cstdint>

#include "effects/pixel.h"

// Writes width x height Pixels (pitch = width) as an 8-bit RGB PNG; false when the file cannot be
// written. Allocates: for frame dumps and previews, never in the show's frame cycle.
bool writePng(const char* path, const Pixel* pixels, int width, int height);

// CRC-32 (as in zlib and PNG) of the Pixels as little-endian bytes.
uint32_t frameChecksum(const Pixel* pixels, int count);
