// The frame buffer effects: whole-picture blits, colour-keyed copies, inversion, fades, blends,
// the running blurs, the mosaics and the fill.
#pragma once

#include <cstdint>

#include "effects/pixel.h"

// Usage, as the show builds one frame (overlay and card are loaded Images, fadeLevel 0..255):
//
//   Pixel* pictureArea = screenBuffer + kPictureTop * kPitch;  // 320 rows of it from here
//   invertPicture(pictureArea);
//   copyBelowKey(pictureArea, overlay->pixels, 0x111111);     // dark overlay pixels win
//   crossFade(pictureArea, blackBuffer, fadeLevel);           // 0 leaves the picture alone
//   blur2x2(pictureArea);                                     // also writes row 256 of it
//   blitImage(pictureArea, kScreenHeight - kPictureTop, x, 196, card);
//
// A "picture" is 131072 Pixels in the 512 x 256 layout, pitch 512, pixel (x, y) at y * 512 + x.
// Every picture operation walks index 0 to 131071 in increasing order, pairing pixel i of each
// buffer. The blurs, mosaics and foldTopHalf also read and write past the last row: their buffers
// must hold kPicturePixels plus the operation's reach (kMaxEffectReach covers them all).

// ---- Reach past the picture ----
//
// Pixels after the 131072 of the picture that an operation may read and write.

// blur2x2's last squares reach row 256 and the first pixel of row 257 (index 131584).
constexpr int32_t kBlur2x2Reach = kPitch + 1;
// foldTopHalf writes pixel 0 to index 131072, one past the picture.
constexpr int32_t kFoldTopHalfReach = 1;
// Largest block or box side that mosaicBlocks and boxBlur always accept.
constexpr uint32_t kMaxBoxSize = 64;
// A box of kMaxBoxSize x kMaxBoxSize at (511, 255) ends 63 rows and 63 pixels past the picture.
constexpr int32_t kBoxBlurReach = int32_t(kMaxBoxSize - 1) * kPitch + int32_t(kMaxBoxSize - 1);
// mosaicBlocks takes larger blocks only while its last block ends within the same reach.
constexpr int32_t kMosaicBlocksReach = kBoxBlurReach;
// The reach of the widest-reaching operation: the size of the margin every buffer needs.
constexpr int32_t kMaxEffectReach = kBoxBlurReach;

static_assert(kMaxEffectReach >= kBlur2x2Reach && kMaxEffectReach >= kFoldTopHalfReach &&
              kMaxEffectReach >= kMosaicBlocksReach);
// pictureArea has 320 rows of screenBuffer from its start, workBuffer 384.
static_assert(kPicturePixels + kMaxEffectReach <= (kScreenHeight - kPictureTop) * kPitch);

// Pixels that invertLeadingPixels inverts.
constexpr int32_t kLeadingPixels = 15000;
// Rows of 512 that blitImage addresses at most; it writes rows 1 to 383 of them.
constexpr int32_t kBlitRows = kScreenHeight;

// ---- Blits and copies ----

// Copies image pixel (c, r) to target pixel (x + c, y + r), clipped to columns 0..510 and to rows
// 1..min(383, targetRows - 1); the first visible image row is not drawn, nor is column 511. The
// target has targetRows rows of 512 Pixels. A null image, one without pixels or of size <= 0,
// x > 512 or y > 384 draws nothing.
void blitImage(Pixel* target, int32_t targetRows, int32_t x, int32_t y, const Image* image);

// target[i] = source[i] over the picture; buffers that overlap get source as it was before the
// copy.
void copyPicture(Pixel* target, const Pixel* source);

// Moves the first 65536 pixels, reversed, to indices 131072 down to 65537 and clears them;
// pixel 65536 keeps its value. Reaches kFoldTopHalfReach pixels past the picture.
void foldTopHalf(Pixel* target);

// ---- Colour keys ----

// target[i] = base[i], then over[i] where over[i] != 0, in that order for each i.
void overlayNonZero(Pixel* target, const Pixel* base, const Pixel* over);

// target[i] = base[i], then over[i] where over[i] > key, in that order for each i: one pass for
// copyPicture(target, base) and copyAboveKey(target, over, key), the same pixels when the three
// buffers are each one or apart.
void overlayAboveKey(Pixel* target, const Pixel* base, const Pixel* over, uint32_t key);

// target[i] = source[i] where source[i] < key as unsigned 32-bit numbers (never when equal).
void copyBelowKey(Pixel* target, const Pixel* source, uint32_t key);

// target[i] = source[i] where source[i] > key as unsigned 32-bit numbers (never when equal).
void copyAboveKey(Pixel* target, const Pixel* source, uint32_t key);

// target[i] = source[i] where source[i] differs from key in any bit.
void copyUnlessKey(Pixel* target, const Pixel* source, int32_t key);

// target[i] = source[i] except for strong reds: red > 17 with green < 17 and blue < 17.
void copyUnlessRedKey(Pixel* target, const Pixel* source);

// ---- Inversion ----

// target[i] = 0xFFFFFF - target[i], one unsigned 32-bit subtraction.
void invertPicture(Pixel* target);

// target[i] = greyWord - target[i] as one unsigned 32-bit subtraction, greyWord =
// (grey << 16) | (grey << 8) | grey; borrows pass from a channel into the one above it.
void subtractFromGrey(Pixel* target, int32_t grey);

// Every pixel other than 0 becomes 0xFFFFFF.
void whitenNonZero(Pixel* target);

// Pixels 0 to kLeadingPixels - 1 become 0xFFFFFF minus themselves; pixels must hold that many.
void invertLeadingPixels(Pixel* pixels);

// ---- Fades and blends ----

// Moves the target towards other by level / 256 per channel (level above 255 counts as 255);
// level 0 leaves the target untouched. Results have a zero top byte.
void crossFade(Pixel* target, const Pixel* other, uint32_t level);

// Blends every non-zero source pixel over the target with the source's own blue byte as weight
// (out of 256, the target getting 255 minus it); zero source pixels leave the target unchanged.
void alphaBlendLowByte(Pixel* target, const Pixel* source);

// ---- Fill ----

// Writes value into count consecutive 32-bit words from destination on (any 4-byte objects, e.g.
// the floats of a depth buffer: value 0 is also 0.0f). count <= 0 writes nothing.
void fillWords(void* destination, int32_t value, int32_t count);

// ---- Blur and mosaic ----
//
// Channel averages are per channel and truncated; the top byte of every input is ignored and that
// of every result is 0.

// Writes the per-channel average of a, b, c, d to pixels (x, y), (x + 1, y), (x, y + 1) and
// (x + 1, y + 1) of the pitch-512 buffer.
void averageQuad(Pixel* buffer, int32_t x, int32_t y, Pixel a, Pixel b, Pixel c, Pixel d);

// The running 2x2 blur: averageQuad of the square at every (x, y) in scan order, each step reading
// what the earlier ones wrote. Reaches kBlur2x2Reach pixels past the picture.
void blur2x2(Pixel* buffer);

// Replaces every aligned 2x2 block of the picture by its average; touches nothing outside it.
void mosaic2x2(Pixel* buffer);

// Replaces every blockWidth x blockHeight block, aligned to (0, 0), by its average; the last blocks
// of a band run on in memory order past column 511 and row 255. Sizes of 1..kMaxBoxSize always
// work; larger ones (up to 512 x 256) only while the last block ends within kMosaicBlocksReach
// pixels past the picture; other sizes, 0 among them, do nothing.
void mosaicBlocks(Pixel* buffer, uint32_t blockWidth, uint32_t blockHeight);

// The running box blur: at every (x, y) in scan order, the boxWidth x boxHeight block at (x, y) is
// replaced by its average. 2 x 2 computes what blur2x2 computes. Sizes outside 1..kMaxBoxSize do
// nothing. Reaches (boxHeight - 1) rows plus (boxWidth - 1) pixels past the picture.
void boxBlur(Pixel* buffer, uint32_t boxWidth, uint32_t boxHeight);

// In every row, columns 0 to column - 1 take the colour of the row's pixel at column, its top byte
// cleared. A column outside 0..511 does nothing.
void smearColumns(Pixel* buffer, int32_t column);
