// Block averages written back over their block: the mosaics and the running box blur.
#include "effects/effects.h"
#include "effects/multiversion.h"

namespace {

// Replaces the width x height block whose top-left pixel is at index start by its per-channel
// average. Sums stay below 2^32: at most 512 x 256 pixels of 255.
void averageBlock(Pixel* buffer, int64_t start, uint32_t width, uint32_t height) {
    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
    for (uint32_t k = 0; k < height; ++k) {
        const Pixel* line = buffer + start + int64_t(k) * kPitch;
        for (uint32_t l = 0; l < width; ++l) {
            red += pixelRed(line[l]);
            green += pixelGreen(line[l]);
            blue += pixelBlue(line[l]);
        }
    }
    const uint32_t area = width * height;
    const Pixel average = makePixel(red / area, green / area, blue / area);
    for (uint32_t k = 0; k < height; ++k) {
        Pixel* line = buffer + start + int64_t(k) * kPitch;
        for (uint32_t l = 0; l < width; ++l)
            line[l] = average;
    }
}

// Pixels past the picture that the last block of mosaicBlocks ends at.
int64_t mosaicReach(uint32_t blockWidth, uint32_t blockHeight) {
    const int64_t rowsCovered = (kPictureHeight + blockHeight - 1) / blockHeight * blockHeight;
    const int64_t columnsCovered = (kPictureWidth + blockWidth - 1) / blockWidth * blockWidth;
    return (rowsCovered - 1) * kPitch + (columnsCovered - 1) - (kPicturePixels - 1);
}

}  // namespace

// Written over two rows at a time, a block per pair of columns, so that the compiler can take
// several blocks per vector step; the AVX2 copy takes twice as many.
BRINDLEHOP_AVX2_CLONED(mosaic2x2, (Pixel* buffer), (buffer)) {
    for (int32_t y = 0; y < kPictureHeight; y += 2) {
        Pixel* top = buffer + y * kPitch;
        Pixel* bottom = top + kPitch;
        for (int32_t x = 0; x < kPictureWidth; x += 2) {
            const Pixel average = averageOfFour(top[x], top[x + 1], bottom[x], bottom[x + 1]);
            top[x] = average;
            top[x + 1] = average;
            bottom[x] = average;
            bottom[x + 1] = average;
        }
    }
}

void mosaicBlocks(Pixel* buffer, uint32_t blockWidth, uint32_t blockHeight) {
    if (blockWidth == 0 || blockHeight == 0) return;
    if (blockWidth > uint32_t(kPictureWidth) || blockHeight > uint32_t(kPictureHeight)) return;
    if (mosaicReach(blockWidth, blockHeight) > kMosaicBlocksReach) return;
    for (uint32_t y = 0; y < uint32_t(kPictureHeight); y += blockHeight) {
        for (uint32_t x = 0; x < uint32_t(kPictureWidth); x += blockWidth) {
            averageBlock(buffer, int64_t(y) * kPitch + x, blockWidth, blockHeight);
        }
    }
}

void boxBlur(Pixel* buffer, uint32_t boxWidth, uint32_t boxHeight) {
    if (boxWidth == 0 || boxHeight == 0 || boxWidth > kMaxBoxSize || boxHeight > kMaxBoxSize) {
        return;
    }
    // Each box is summed afresh: the running order means every step reads what the previous
    // steps wrote, so no sliding sum over the original pixels would give the same result.
    for (int64_t i = 0; i < kPicturePixels; ++i)
        averageBlock(buffer, i, boxWidth, boxHeight);
}
