// The eight row converters from 0x00RRGGBB Pixels to the display's own layouts, and the choice
// among them.
#include <bit>
#include <cstring>

#include "display/display.h"
#include "effects/multiversion.h"

// Stores go through memcpy of native words, which are the little-endian words the layouts
// describe only on a little-endian host.
static_assert(std::endian::native == std::endian::little);

// Each converter gets an AVX2 copy beside the baseline one, chosen as the effects' loops are
// (effects/multiversion.h).

namespace {

inline void store32(uint8_t* destination, uint32_t value) {
    std::memcpy(destination, &value, sizeof value);
}

inline void store16(uint8_t* destination, uint32_t value) {
    const uint16_t word = static_cast<uint16_t>(value);
    std::memcpy(destination, &word, sizeof word);
}

constexpr uint32_t swapRedBlue(uint32_t p) {
    return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
}

// Writes the low three bytes of each value, little-endian, with no gaps. Four pixels make
// exactly three 32-bit words, so the bulk goes out as whole words and never touches a byte
// beyond the last pixel; the last one to three pixels go out byte by byte.
template <uint32_t (*kToValue)(uint32_t)>
inline void pack24(const Pixel* source, uint8_t* destination, int32_t count) {
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const uint32_t a = kToValue(source[i]) & 0xFFFFFFu;
        const uint32_t b = kToValue(source[i + 1]) & 0xFFFFFFu;
        const uint32_t c = kToValue(source[i + 2]) & 0xFFFFFFu;
        const uint32_t d = kToValue(source[i + 3]) & 0xFFFFFFu;
        uint8_t* out = destination + 3 * i;
        store32(out, a | (b << 24));
        store32(out + 4, (b >> 8) | (c << 16));
        store32(out + 8, (c >> 16) | (d << 8));
    }
    for (; i < count; ++i) {
        const uint32_t p = kToValue(source[i]);
        uint8_t* out = destination + 3 * i;
        out[0] = static_cast<uint8_t>(p);
        out[1] = static_cast<uint8_t>(p >> 8);
        out[2] = static_cast<uint8_t>(p >> 16);
    }
}

constexpr uint32_t keep(uint32_t p) {
    return p;
}

}  // namespace

// A plain copy: the C library's memcpy already picks the widest moves the processor has.
void convertRGB32(const Pixel* source, uint8_t* destination, int32_t count) {
    if (count > 0) std::memcpy(destination, source, static_cast<size_t>(count) * sizeof(Pixel));
}

BRINDLEHOP_AVX2_CLONED(convertBGR32, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    for (int32_t i = 0; i < count; ++i)
        store32(destination + 4 * i, swapRedBlue(source[i]));
}

BRINDLEHOP_AVX2_CLONED(convertRGB24, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    pack24<keep>(source, destination, count);
}

BRINDLEHOP_AVX2_CLONED(convertBGR24, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    pack24<swapRedBlue>(source, destination, count);
}

// The 16-bit layouts keep the top bits of each channel and drop the rest: truncation, not
// rounding, so full white stays full white and no channel can overflow into its neighbour.
BRINDLEHOP_AVX2_CLONED(convertRGB565, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        store16(destination + 2 * i,
                ((p >> 8) & 0xF800u) | ((p >> 5) & 0x7E0u) | ((p >> 3) & 0x1Fu));
    }
}

BRINDLEHOP_AVX2_CLONED(convertBGR565, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        store16(destination + 2 * i,
                ((p >> 19) & 0x1Fu) | ((p >> 5) & 0x7E0u) | ((p << 8) & 0xF800u));
    }
}

BRINDLEHOP_AVX2_CLONED(convertRGB555, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        store16(destination + 2 * i,
                ((p >> 9) & 0x7C00u) | ((p >> 6) & 0x3E0u) | ((p >> 3) & 0x1Fu));
    }
}

BRINDLEHOP_AVX2_CLONED(convertBGR555, (const Pixel* source, uint8_t* destination, int32_t count),
                       (source, destination, count)) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        store16(destination + 2 * i,
                ((p >> 19) & 0x1Fu) | ((p >> 6) & 0x3E0u) | ((p << 7) & 0x7C00u));
    }
}

PixelConverter choosePixelConverter(uint32_t bitCount, uint32_t redMask, uint32_t greenMask,
                                    uint32_t blueMask) {
    struct Row {
        uint32_t bitCount, redMask, greenMask, blueMask;
        PixelConverter converter;
    };
    // Tested in this order; the first exact match of all four values wins.
    static const Row kRows[] = {
        {32, 0xFF0000, 0xFF00, 0xFF, convertRGB32}, {32, 0xFF, 0xFF00, 0xFF0000, convertBGR32},
        {24, 0xFF0000, 0xFF00, 0xFF, convertRGB24}, {24, 0xFF, 0xFF00, 0xFF0000, convertBGR24},
        {16, 0xF800, 0x7E0, 0x1F, convertRGB565},   {16, 0x1F, 0x7E0, 0xF800, convertBGR565},
        {16, 0x7C00, 0x3E0, 0x1F, convertRGB555},   {16, 0x1F, 0x3E0, 0x7C00, convertBGR555},
    };
    for (const Row& row : kRows) {
        if (row.bitCount == bitCount && row.redMask == redMask && row.greenMask == greenMask &&
            row.blueMask == blueMask) {
            return row.converter;
        }
    }
    return nullptr;
}
