// Fuzzes the JPEG decoder on bytes in memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "assets/assets.h"

// Pictures above 1 Mpixel are refused here so that one input cannot take seconds; the size
// check itself is the same one loadImage runs with its larger limit.
constexpr int64_t kFuzzMaxPixels = int64_t{1} << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image* image = decodeImage(data, size, kFuzzMaxPixels);
    if (image) {
        if (image->width < 1 || image->height < 1 ||
            int64_t{image->width} * image->height > kFuzzMaxPixels) {
            std::abort();
        }
        // Touch every Pixel, so a short allocation shows up, and check the top bytes.
        size_t count = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        for (size_t i = 0; i < count; ++i) {
            if (image->pixels[i] >> 24) std::abort();
        }
        releaseImage(image);
    }
    return 0;
}
