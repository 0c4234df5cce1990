// Private to the engine: keeps GCC from dropping the float roundings the engine depends on.
#pragma once

// GCC 12's basic-block vectoriser pairs float conversions of doubles (cvtpd2ps) and later
// widenings of the stored floats (cvtps2pd), then reuses the unrounded doubles for the second:
// the rasterizer's long-edge restart came out one colour step off. Every store to float here is
// part of the result, so that pass stays off in the files that include this header.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-slp-vectorize")
#endif
