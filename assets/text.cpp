// The text reader and the label search and token scanner over its texts.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/assets.h"

namespace {

constexpr int kTokenChars = kTokenSize - 1;  // room left for the terminating NUL

bool isTokenStop(unsigned char c) {
    return c == kTextEnd || c == ' ' || c == '\n';
}

// Whether position can be read: the characters and the end mark, nothing before or after.
bool inText(const Text& text, int32_t position) {
    return text.bytes && position >= 0 && position <= text.length;
}

unsigned char at(const Text& text, int32_t index) {
    return static_cast<unsigned char>(text.bytes[index]);
}

Text noText() {
    return Text{nullptr, 0};
}

}  // namespace

Text makeText(const uint8_t* bytes, size_t length) {
    // Indices are 32-bit signed, and the end mark needs one more.
    if (length > static_cast<size_t>(INT32_MAX) - 1) return noText();
    auto* chars = static_cast<char*>(std::malloc(length + 1));
    if (!chars) return noText();
    size_t kept = 0;
    for (size_t i = 0; i < length; ++i) {
        // The files may come with CR LF line ends; they must give the same positions as LF.
        if (bytes[i] == '\r' && i + 1 < length && bytes[i + 1] == '\n') continue;
        chars[kept++] = static_cast<char>(bytes[i]);
    }
    chars[kept] = static_cast<char>(kTextEnd);
    return Text{chars, static_cast<int32_t>(kept)};
}

Text readTextFile(const char* path) {
    if (!path) return noText();
    FILE* stream = openRegularFile(path, nullptr, kMaxTextFileBytes);
    long size = -1;
    if (stream && std::fseek(stream, 0, SEEK_END) == 0) size = std::ftell(stream);
    if (size < 0 || size > INT32_MAX - 1 || std::fseek(stream, 0, SEEK_SET) != 0) {
        if (stream) std::fclose(stream);
        std::printf("Unable To load: %s\n", path);
        return noText();
    }
    auto* raw = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size) + 1));
    Text text = noText();
    if (raw) {
        // The file may have shrunk since its size was taken; what was read is the text.
        size_t got = std::fread(raw, 1, static_cast<size_t>(size), stream);
        if (!std::ferror(stream)) text = makeText(raw, got);
        std::free(raw);
    }
    std::fclose(stream);
    if (!text.bytes) std::printf("Unable To load: %s\n", path);
    return text;
}

void releaseText(Text& text) {
    std::free(text.bytes);
    text = noText();
}

int32_t findText(const char* label, const Text& text) {
    return findTextFrom(label, text, 0);
}

int32_t findTextFrom(const char* label, const Text& text, int32_t start) {
    if (!label || !inText(text, start)) return -1;
    size_t labelLength = std::strlen(label);
    if (labelLength == 0 || labelLength > static_cast<size_t>(text.length)) return -1;
    // A match must lie wholly among the characters: the end mark never takes part in one,
    // even for a label that holds a 0xFF byte.
    int32_t lastStart = text.length - static_cast<int32_t>(labelLength);
    // The first byte is compared inline and the rest only where it matches: a library call at
    // every position made this search the largest cost of loading the scene file.
    const char first = label[0];
    for (int32_t i = start; i < text.length && text.bytes[i] != '\0'; ++i) {
        if (i > lastStart) return -1;
        if (text.bytes[i] == first &&
            std::memcmp(text.bytes + i + 1, label + 1, labelLength - 1) == 0)
            return i;
    }
    return -1;
}

int32_t readToken(const Text& text, TokenBuffer& token, int32_t position) {
    token[0] = '\0';
    if (!inText(text, position)) return -1;
    int32_t i = position;
    int copied = 0;
    // Every text ends in the end mark, which stops the loop at the latest there.
    for (; !isTokenStop(at(text, i)); ++i) {
        // Characters past the 19th are skipped, not stored: the buffer cannot hold them, and
        // returning the true stop index keeps the fields after this token where they belong.
        if (copied < kTokenChars) token[copied++] = text.bytes[i];
    }
    token[copied] = '\0';
    return i > position ? i : -1;
}

int32_t skipToLineEnd(const Text& text, int32_t position) {
    if (!inText(text, position)) return -1;
    for (int32_t i = position; at(text, i) != kTextEnd; ++i) {
        if (text.bytes[i] == '\n') return i;
    }
    return -1;
}
