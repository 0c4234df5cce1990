// The grid texture mapper: a grid of texture coordinates, the generators that shape it, and the
// block mapper that draws a texture through it.
#pragma once

#include <cstdint>

#include "effects/pixel.h"

// Usage, as the show draws one frame of a moving background (t = music time, s0 and s1 = levels):
//
//   DeformGrid* grid = createDeformGrid(512, 256);       // start-up: 65 x 33 nodes
//   if (!textureFitsMapper(colors)) { /* report "colors.jpg" as too small */ }
//
//   gridSetPlane(grid, int32_t(512 - 150 * s0), int32_t(256 - 130 * s0), int32_t(30 * t), 0);
//   gridAddCrossWaves(grid, 0.25f, 0.3f, t, t, 140 * s1 + 50);
//   gridAddAxisWaves(grid, 0.3f, 0.2f, t, t, 140 * s1 + 40);
//   mapGridWrapped(pictureArea, grid, colors);           // 512 x 256 Pixels, pitch 512
//
// Every frame starts with gridSetPlane: it is the only generator that sets the nodes, the others
// add to them.

// One grid node: the texture coordinate that the target pixel at a block corner receives. Nodes
// hold whole texels; fractions arise only inside the mapper, between nodes.
struct GridNode {
    int32_t u;  // texture column in whole texels; any value (the lookup wraps or clamps it)
    int32_t v;  // texture row in whole texels; any value
};

// A grid with one node per corner of an 8x8 pixel block. Node (i, j) is element i * columns + j
// and is what target pixel (8j, 8i) samples.
struct DeformGrid {
    int32_t rows;     // node rows, (height >> 3) + 1; 33 for the show, 0 after release
    int32_t columns;  // nodes per row, (width >> 3) + 1; 65 for the show, 0 after release
    GridNode* nodes;  // rows x columns nodes, top row first; owned, null after release
};

constexpr int32_t kGridBlockSize = 8;          // pixels across and down one block
constexpr int32_t kMapperTextureWidth = 512;   // texel columns the lookup can form (0..511)
constexpr int32_t kMapperTextureHeight = 256;  // texel rows the lookup can form (0..255)
// Most nodes per row a mapped grid may have: 64 blocks fill one 512-Pixel target row.
constexpr int32_t kMapperMaxColumns = kPitch / kGridBlockSize + 1;

// ---- Grid ----

// A grid covering width x height pixels, its node values uninitialised (set them with
// gridSetPlane). Null for a negative size, for more than 2^31 - 1 nodes, or when memory runs out.
DeformGrid* createDeformGrid(int32_t width, int32_t height);

// Frees the nodes and leaves the record empty (rows = columns = 0, nodes = null); the record itself
// stays allocated (made with new, so an owner that wants it gone deletes it). Null does nothing.
void releaseDeformGrid(DeformGrid* grid);

// Adds every node of offsets to the same node of grid, wrapping like the generators. A
// displacement that does not change from frame to frame (a generator run once on a plane of
// zeros) can so be laid on each frame's plane for the price of an addition. False, and nothing
// changed, when either grid is null or without nodes, or the two differ in size.
bool gridAddNodes(DeformGrid* grid, const DeformGrid* offsets);

// ---- Mapper ----
//
// The target is an array of Pixels with a pitch of 512 that must hold (rows - 1) * 8 rows: a grid
// fills (columns - 1) * 8 by (rows - 1) * 8 pixels at its start and nothing else. The lookup forms
// texel columns 0..511 and rows 0..255 whatever the texture's size, so the texture must be at least
// 512 x 256; its width is the pitch of its pixels. The mappers refuse anything else and draw
// nothing.

// True when the texture can be handed to the mapper: non-null, with pixels, at least 512 x 256.
bool textureFitsMapper(const Image* texture);

// Draws the texture through the whole grid; coordinates repeat every 512 columns and 256 rows.
// False (nothing drawn) for a null target or grid, a grid wider than 65 nodes, or a texture that
// does not fit; true otherwise, also when the grid has no whole block (fewer than 2x2 nodes).
bool mapGridWrapped(Pixel* target, const DeformGrid* grid, const Image* texture);

// As mapGridWrapped, but texels outside columns 1..511 and rows 1..255 come out black (0).
bool mapGridClamped(Pixel* target, const DeformGrid* grid, const Image* texture);

// Fills the 8x8 block whose top-left pixel is target pixel (x, y) by interpolating its corners,
// wrapped lookup. False (nothing drawn) for a null pointer, a texture that does not fit, y < 0, or
// x outside 0..504 (the block must lie within one 512-Pixel row).
bool mapBlockWrapped(Pixel* target, const Image* texture, int32_t x, int32_t y,
                     const GridNode* topLeft, const GridNode* topRight, const GridNode* bottomLeft,
                     const GridNode* bottomRight);

// As mapBlockWrapped, with the clamped lookup of mapGridClamped.
bool mapBlockClamped(Pixel* target, const Image* texture, int32_t x, int32_t y,
                     const GridNode* topLeft, const GridNode* topRight, const GridNode* bottomLeft,
                     const GridNode* bottomRight);

// ---- Generators ----
//
// Each makes one pass over the nodes of a grid (null or empty: nothing happens). i is a node's row,
// j its column. Every displacement is truncated toward zero on its own and added to the node with
// wrap-around; a displacement beyond the 32-bit range saturates, and NaN counts as 0. The half
// centre is (columns / 2.0, rows / 2.0); the integer centre is (columns / 2, rows / 2) and
// dx = j - columns / 2, dy = i - rows / 2 around it.

// Sets every node to a plane: u = offsetU + j * spanU / (columns - 1), v = offsetV + i * spanV /
// (rows - 1), the steps summed in single precision. (512, 256, 0, 0) on 65 x 33 maps one to one.
void gridSetPlane(DeformGrid* grid, int32_t spanU, int32_t spanV, int32_t offsetU, int32_t offsetV);

// u += amplitude * sin(j * columnFreq + phaseU); v += amplitude * sin(i * rowFreq + phaseV).
void gridAddAxisWaves(DeformGrid* grid, float columnFreq, float rowFreq, float phaseU, float phaseV,
                      float amplitude);

// u += amplitude * sin(i * rowFreq + phaseU); v += amplitude * sin(j * columnFreq + phaseV).
void gridAddCrossWaves(DeformGrid* grid, float columnFreq, float rowFreq, float phaseU,
                       float phaseV, float amplitude);

// Pushes each node along its offset from the half centre by sin(distance) * amount.
void gridAddRadialSine(DeformGrid* grid, float amount);

// Pushes each node along its offset from the half centre by distance * amount.
void gridAddRadialZoom(DeformGrid* grid, float amount);

// Pushes each node along its offset from column 32, row 12 by tan(0.0490625 * j) * distance.
void gridAddTangentWarp(DeformGrid* grid);

// u += 80 sin(0.0490625 j) on every row; v += that times a factor growing by growth * 0.098 a row.
void gridAddGrowingSine(DeformGrid* grid, float growth);

// Pushes each node along its offset from the integer centre by amplitude * cos(frequency * r).
void gridAddCosineRipple(DeformGrid* grid, float frequency, float amplitude);

// As gridAddCosineRipple with amplitude * (cos(frequency * r - phase) + 1): for a positive
// amplitude, outward only.
void gridAddRaisedRipple(DeformGrid* grid, float frequency, float phase, float amplitude);

// Moves every node along (sin angle, cos angle) by scale times its distance from the integer
// centre.
void gridAddDirectionalShift(DeformGrid* grid, float angle, float scale);

// Cross waves from row startY >> 3 down, each row (the start row too) with 0.9 times the column
// frequency and half a texel more amplitude than the one before; v of the start row becomes its
// top pixel row and v of the last row 256. A negative startY, or a start row below the grid,
// touches nothing.
void gridAddDecayingWaves(DeformGrid* grid, float columnFreq, float rowFreq, float phaseU,
                          float phaseV, float amplitude, int32_t startY);
