// The Pixel, the Image, the frame buffer geometry, and the helpers that build and split pixels.
#pragma once

#include <cstdint>

// One Pixel is one 32-bit word:
//
//   31        24 23        16 15         8 7          0
//  +------------+------------+------------+------------+
//  |  unused 0  |    red     |   green    |    blue    |
//  +------------+------------+------------+------------+
//
// Decoded pictures and every effect produce a top byte of 0. Colour keys compare
// whole pixel values as unsigned numbers, so red decides first.
using Pixel = uint32_t;

// A picture at its own size. Made by loadImage; the caller owns it and its pixels.
struct Image {
    int32_t width;   // columns, > 0
    int32_t height;  // rows, > 0
    Pixel* pixels;   // width x height Pixels, top row first, pitch = width, top bytes 0
};

constexpr int kPitch = 512;          // Pixels per row in every frame buffer
constexpr int kScreenWidth = 512;    // columns of screenBuffer and workBuffer
constexpr int kScreenHeight = 384;   // rows of screenBuffer and workBuffer
constexpr int kPictureWidth = 512;   // columns of a picture
constexpr int kPictureHeight = 256;  // rows of a picture
constexpr int kPictureTop = 64;      // screen row where pictureArea starts
constexpr int kPicturePixels = 131072;
constexpr int kScreenPixels = 196608;

static_assert(kPitch == kScreenWidth && kPitch == kPictureWidth);
static_assert(kPictureWidth * kPictureHeight == kPicturePixels);
static_assert(kScreenWidth * kScreenHeight == kScreenPixels);
static_assert(kPictureTop + kPictureHeight < kScreenHeight);

constexpr uint32_t pixelRed(Pixel p) {
    return (p >> 16) & 0xFFu;
}
constexpr uint32_t pixelGreen(Pixel p) {
    return (p >> 8) & 0xFFu;
}
constexpr uint32_t pixelBlue(Pixel p) {
    return p & 0xFFu;
}

// Packs three channels of 0..255 into a Pixel with a zero top byte.
constexpr Pixel makePixel(uint32_t red, uint32_t green, uint32_t blue) {
    return (red << 16) | (green << 8) | blue;
}

// Per-channel (a + b + c + d) >> 2 with a zero top byte. Red and blue are summed in one word:
// four bytes sum to at most 1020, which fits the 16 bits between them.
constexpr Pixel averageOfFour(Pixel a, Pixel b, Pixel c, Pixel d) {
    constexpr uint32_t kRedBlue = 0xFF00FFu;
    constexpr uint32_t kGreen = 0xFF00u;
    const uint32_t redBlue =
        ((a & kRedBlue) + (b & kRedBlue) + (c & kRedBlue) + (d & kRedBlue)) >> 2;
    const uint32_t green = ((a & kGreen) + (b & kGreen) + (c & kGreen) + (d & kGreen)) >> 2;
    return (redBlue & kRedBlue) | (green & kGreen);
}
