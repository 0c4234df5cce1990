// Writing frames as PNG files, and the checksum of a frame.
#pragma once

#include <cstdint>

#include "effects/pixel.h"

// Writes width x height Pixels (pitch = width) as an 8-bit RGB PNG; false when the file cannot be
// written. The bytes go to path + ".partial", renamed to path once complete, so path is either
// the whole picture or absent; the partial file is removed on failure. Allocates: for frame
// dumps and previews, never in the show's frame cycle.
bool writePng(const char* path, const Pixel* pixels, int width, int height);

// CRC-32 (as in zlib and PNG) of the Pixels as little-endian bytes.
uint32_t frameChecksum(const Pixel* pixels, int count);
