// The Image: a decoded picture as rows of Pixels.
#pragma once

#include <cstdint>

#include "effects/pixel.h"

// A picture at its own size. Made by loadImage; the caller owns it and its pixels.
struct Image {
    int32_t width;   // columns, > 0
    int32_t height;  // rows, > 0
    Pixel* pixels;   // width x height Pixels, top row first, pitch = width, top bytes 0
};
