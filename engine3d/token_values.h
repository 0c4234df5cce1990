// Private to the engine's loaders: reading one value at a fixed offset, and number conversion.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "assets/assets.h"

namespace token_values {

// One loader's view of its text: the path and the loader name for messages.
struct Source {
    const Text& text;
    const char* loader;  // "loadScene" or "loadLight"
    const char* path;
};

// Prints "<loader>: <path>: <what>" to stderr; always false, so a caller can return it.
__attribute__((format(printf, 2, 3))) inline bool refuse(const Source& source, const char* format,
                                                         ...) {
    std::fprintf(stderr, "%s: %s: ", source.loader, source.path);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return false;
}

// Reads the token at position into token and its stop index into stop. A position past the end
// of the text (a label too near the end) is refused with a message naming what was being read.
// Inside the text, an empty token (a separator where the value should be) is read as the format
// reads it: the empty string, which converts to 0, and a stop of -1 for the next offset.
inline bool readValue(const Source& source, TokenBuffer& token, int64_t position, int32_t& stop,
                      const char* what) {
    stop = -1;
    if (position < 0 || position > source.text.length) {
        return refuse(source, "%s lies past the end of the text", what);
    }
    stop = readToken(source.text, token, static_cast<int32_t>(position));
    return true;
}

// atoi without its undefined overflow: values beyond 32 bits are held at the nearest bound.
inline int32_t toInt(const char* token) {
    long long v = std::strtoll(token, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// atof, rounded to the float it is stored as.
inline float toFloat(const char* token) {
    return static_cast<float>(std::strtod(token, nullptr));
}

}  // namespace token_values
