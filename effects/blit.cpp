// Placing and moving whole pictures: the clipped blit, the picture copy and the fold.
#include <algorithm>
#include <cstring>

#include "effects/effects.h"

void blitImage(Pixel* target, int32_t targetRows, int32_t x, int32_t y, const Image* image) {
    if (target == nullptr || image == nullptr || image->pixels == nullptr) return;
    if (image->width <= 0 || image->height <= 0) return;
    if (x > kPitch || y > kBlitRows) return;
    // 64-bit from here on: x + width and -x must not overflow for any int32 input.
    const int64_t width = image->width;
    const int64_t height = image->height;
    if (y + height < 0 || x + width < 0) return;

    const int64_t sourceColumn = x < 0 ? -int64_t(x) : 0;
    const int64_t sourceRow = y < 0 ? -int64_t(y) : 0;
    const int64_t targetColumn = std::max<int64_t>(x, 0);
    const int64_t targetRow = std::max<int64_t>(y, 0);

    // The copy writes target row targetRow + k + 1 for image row sourceRow + k + 1: the first
    // visible image row is skipped, and the last writable row is the lower of 383 and the last row
    // the caller says exists. Column 511 is never written.
    const int64_t lastRow = std::min<int64_t>(kBlitRows - 1, int64_t(targetRows) - 1);
    const int64_t rows = std::min(height - 1 - sourceRow, lastRow - targetRow);
    const int64_t columns = std::min(width - sourceColumn, (kPitch - 1) - targetColumn);
    if (rows <= 0 || columns <= 0) return;

    for (int64_t k = 1; k <= rows; ++k) {
        const Pixel* from = image->pixels + (sourceRow + k) * width + sourceColumn;
        Pixel* to = target + (targetRow + k) * kPitch + targetColumn;
        std::memmove(to, from, sizeof(Pixel) * size_t(columns));
    }
}

void copyPicture(Pixel* target, const Pixel* source) {
    // The C library's copy picks the widest moves the machine has, which a plain loop built for
    // the baseline cannot; memmove rather than memcpy keeps a copy onto itself defined.
    std::memmove(target, source, sizeof(Pixel) * kPicturePixels);
}

void foldTopHalf(Pixel* target) {
    // Pixel k goes to 131072 - k, not 131071 - k: the fold is off by one, so pixel 0 lands just
    // past the picture and pixel 65536 is left alone. No read sees an earlier write (reads are
    // below 65536, writes above it or at the pixel just read), so two plain passes are exact.
    constexpr int32_t kHalf = kPicturePixels / 2;
    for (int32_t k = 0; k < kHalf; ++k)
        target[kPicturePixels - k] = target[k];
    for (int32_t k = 0; k < kHalf; ++k)
        target[k] = 0;
}
