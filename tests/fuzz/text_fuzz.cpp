// Fuzzes the text reader's construction and the label search and token scanner over it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "assets/assets.h"

namespace {

// Takes the next little-endian 32-bit value from the input, or 0 when it is used up.
int32_t takeInt(const uint8_t*& data, size_t& size) {
    uint32_t value = 0;
    for (int i = 0; i < 4 && size > 0; ++i, ++data, --size)
        value |= uint32_t{*data} << (8 * i);
    return static_cast<int32_t>(value);
}

void checkToken(const Text& text, int32_t position) {
    TokenBuffer token;
    int32_t stop = readToken(text, token, position);
    size_t length = std::strlen(token);
    if (length >= static_cast<size_t>(kTokenSize)) std::abort();
    if (stop == -1) {
        if (length != 0) std::abort();
        return;
    }
    if (stop <= position || stop > text.length) std::abort();
    unsigned char c = static_cast<unsigned char>(text.bytes[stop]);
    if (c != kTextEnd && c != ' ' && c != '\n') std::abort();
}

void checkLineEnd(const Text& text, int32_t position) {
    int32_t end = skipToLineEnd(text, position);
    if (end != -1 && (end < position || end >= text.length || text.bytes[end] != '\n')) {
        std::abort();
    }
}

}  // namespace

// Input: a label length byte, the label, four 32-bit positions, then the text itself.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t labelLength = data[0] % 12;
    ++data;
    --size;
    if (labelLength > size) labelLength = size;
    char label[16] = {};
    std::memcpy(label, data, labelLength);
    data += labelLength;
    size -= labelLength;
    int32_t positions[4];
    for (int32_t& p : positions)
        p = takeInt(data, size);

    Text text = makeText(data, size);
    if (!text.bytes) return 0;

    int32_t first = findText(label, text);
    if (first < -1 || first >= text.length) std::abort();
    if (first >= 0 && std::memcmp(text.bytes + first, label, std::strlen(label)) != 0) std::abort();
    for (int32_t p : positions) {
        int32_t from = findTextFrom(label, text, p);
        if (from != -1 && (from < p || from >= text.length)) std::abort();
        // The way the loaders use it: a label, a fixed step, a token.
        checkToken(text, p);
        checkToken(text, from + static_cast<int32_t>(std::strlen(label)));
        checkLineEnd(text, p);
        // Positions near the ends of the text, where off-by-one reads would be.
        int32_t near = text.length - static_cast<int32_t>(static_cast<uint32_t>(p) % 4);
        checkToken(text, near);
        checkLineEnd(text, near);
        findTextFrom(label, text, near);
    }

    // Walk the whole text line by line, token by token.
    TokenBuffer token;
    for (int32_t at = 0; at >= 0 && at <= text.length;) {
        int32_t stop = readToken(text, token, at);
        int32_t lineEnd = skipToLineEnd(text, at);
        at = stop >= 0 ? stop + 1 : (lineEnd >= 0 ? lineEnd + 1 : at + 1);
    }
    releaseText(text);
    return 0;
}
