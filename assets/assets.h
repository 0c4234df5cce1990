// The asset files: data files in memory, JPEG pictures as Images, and the text reader and
// token scanner that the scene and light loaders are built from.
//
// Usage, as the show and the loaders call it:
//
//   std::string why;
//   Image* colors = loadImage("colors.jpg", &why);    // nullptr and the reason when missing,
//                                                     // not a regular file, or damaged
//
//   Text text = readTextFile("data/lys.txt");         // text.bytes == nullptr when unreadable
//   TokenBuffer token;
//   int32_t at = findText("Radius:", text);           // -1 when the label is absent
//   int32_t stop = readToken(text, token, at + 8);    // token "12.5", stop = index of the space
//   float radius = static_cast<float>(atof(token));
//   int32_t lineEnd = skipToLineEnd(text, stop);
//   releaseText(text);
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "effects/pixel.h"
#include "platform/os_files.h"

// ---------------------------------------------------------------------------------------------
// Records

// A whole file from the data folder, in memory, with a read position.
struct DataFile {
    int32_t length;     // size of the file in bytes, 0..INT32_MAX
    uint8_t* bytes;     // the file's contents exactly as stored (length bytes)
    uint32_t position;  // read position in bytes for dataFileRead; 0 after reading, unbounded
};

// A text file in memory: its characters (CR LF folded to LF) followed by one end mark 0xFF.
// There is no NUL terminator. bytes == nullptr means "no text" (the file could not be read).
struct Text {
    char* bytes;     // length characters, then the end mark 0xFF at index length
    int32_t length;  // characters before the end mark, 0..INT32_MAX-1
};

// The end mark stored after the last character of a Text.
constexpr unsigned char kTextEnd = 0xFF;

// Room for one token: at most 19 characters and the terminating NUL.
constexpr int kTokenSize = 20;
using TokenBuffer = char[kTokenSize];

// Pictures larger than this on either side, or in all, are refused: a hostile header must not
// make the decoder allocate gigabytes.
constexpr int32_t kMaxImageSide = 16384;         // columns or rows
constexpr int64_t kMaxImagePixels = 64LL << 20;  // 64 Mpixel = 256 MiB of Pixels

// ---------------------------------------------------------------------------------------------
// Data files

// Largest files of each kind that are read whole, far above what the show's own need: a picture
// followed by gigabytes of anything must not be read into memory.
constexpr uint64_t kMaxPictureFileBytes = uint64_t{32} << 20;  // 32 MiB
constexpr uint64_t kMaxTextFileBytes = uint64_t{16} << 20;     // 16 MiB

// openRegularFile and sizeLimitText (platform/os_files.h) open them and name their limits.

// Reads data/<name> whole; nullptr when it is not a regular file, is larger than maxBytes
// (at most 2 GiB), cannot be opened, read or allocated, or the path is too long, with the
// reason in why (when given).
DataFile* readDataFile(const char* name, std::string* why = nullptr,
                       uint64_t maxBytes = kMaxPictureFileBytes);

// Frees the bytes and the record; nullptr is ignored.
void releaseDataFile(DataFile* file);

// Copies up to count whole records of size bytes into buffer; returns how many were copied.
uint32_t dataFileRead(void* buffer, uint32_t size, uint32_t count, DataFile* file);

// Moves position: origin 0 to offset, 1 by offset, 2 to length - offset; others do nothing.
int32_t dataFileSeek(DataFile* file, int32_t offset, int32_t origin);

// The read position.
uint32_t dataFileTell(const DataFile* file);

// ---------------------------------------------------------------------------------------------
// Pictures

// Decodes data/<name> (JPEG) into a new Image; nullptr when it cannot be read or decoded, with
// the reason in why (when given). Prints nothing.
Image* loadImage(const char* name, std::string* why = nullptr);

// Decodes a JPEG held in memory into a new Image; nullptr, with the decoder's message in why
// (when given), when it is not one this decoder accepts (CMYK is refused), is damaged (any
// decoder warning: premature end, corrupt data), claims more pixels than its bytes can hold, or
// is larger than maxPixels / kMaxImageSide. Prints nothing.
Image* decodeImage(const uint8_t* bytes, size_t length, int64_t maxPixels = kMaxImagePixels,
                   std::string* why = nullptr);

// Frees an Image made by loadImage or decodeImage, and its pixels; nullptr is ignored.
void releaseImage(Image* image);

// ---------------------------------------------------------------------------------------------
// Text reader and token scanner

// Reads the file at path (not under data/); prints "Unable To load: <path>" and returns a Text
// with bytes == nullptr when it cannot be read or is not a regular file.
Text readTextFile(const char* path);

// Builds a Text from bytes in memory exactly as readTextFile does from a file's bytes.
Text makeText(const uint8_t* bytes, size_t length);

// Frees the characters and leaves the record empty (bytes nullptr, length 0).
void releaseText(Text& text);

// Index of the first occurrence of label in text, or -1. Same as findTextFrom(label, text, 0).
int32_t findText(const char* label, const Text& text);

// Index of the first occurrence of label at or after start, or -1. The scan stops at the end
// mark or at a NUL; a 0xFF byte from the file is an ordinary character. Empty label, or a
// start below 0 or beyond the end mark: -1.
int32_t findTextFrom(const char* label, const Text& text, int32_t start);

// Copies the token at position (up to 0xFF, space or line feed) into token; returns the index
// of the stop character, or -1 (and an empty token) when position holds a separator or lies
// outside the text. A token longer than 19 characters is cut to its first 19, but the result
// is still the index of its true stop character, so the fields after it are found as usual.
int32_t readToken(const Text& text, TokenBuffer& token, int32_t position);

// Index of the first line feed at or after position, or -1 when a 0xFF comes first or position
// lies outside the text.
int32_t skipToLineEnd(const Text& text, int32_t position);
