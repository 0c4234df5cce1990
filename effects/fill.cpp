// Filling memory with one 32-bit word.
#include <cstring>

#include "effects/effects.h"

void fillWords(void* destination, int32_t value, int32_t count) {
    // Copied bytewise so that the words may be any 4-byte type (the depth buffer's floats) without
    // breaking type-based aliasing; the compiler turns this into plain vector stores.
    auto* bytes = static_cast<unsigned char*>(destination);
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(bytes + 4 * size_t(i), &value, 4);
}
