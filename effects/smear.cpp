// The column smear: a row's pixel at one column copied over everything to its left.
#include "effects/effects.h"

void smearColumns(Pixel* buffer, int32_t column) {
    if (column <= 0 || column >= kPictureWidth) return;
    for (int32_t y = 0; y < kPictureHeight; ++y) {
        Pixel* row = buffer + y * kPitch;
        const Pixel colour = row[column] & 0xFFFFFFu;
        for (int32_t x = 0; x < column; ++x)
            row[x] = colour;
    }
}
