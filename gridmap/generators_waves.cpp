// The plane and the wave generators: gridSetPlane, axis, cross, growing and decaying waves.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "gridmap/gridmap.h"
#include "gridmap/node_math.h"

using gridmath::addTo;
using gridmath::hasNodes;
using gridmath::nodeAt;
using gridmath::toFloat;
using gridmath::truncToInt32;

namespace {

// Column displacements that are the same on every row are computed once per column into a table
// of this many entries on the stack, chunk by chunk, instead of once per node.
constexpr int32_t kColumnChunk = 128;

// trunc(amplitude * sin(index * frequency + phase)), all in double.
int32_t waveShift(float amplitude, int32_t index, float frequency, float phase) {
    return truncToInt32(double{amplitude} *
                        std::sin(static_cast<double>(index) * double{frequency} + double{phase}));
}

// Two nodes as four lanes: u, v, u, v. Lane arithmetic on unsigned values wraps, as addTo does.
using NodePair = uint32_t __attribute__((vector_size(16)));
static_assert(sizeof(NodePair) == 2 * sizeof(GridNode));

NodePair loadPair(const GridNode* node) {
    NodePair pair;
    std::memcpy(&pair, node, sizeof pair);
    return pair;
}

void storePair(GridNode* node, NodePair pair) {
    std::memcpy(node, &pair, sizeof pair);
}

// Adds a column-driven wave to one coordinate and a row-driven wave to the other. Each node's
// change is a function of its own row and column only, so the column-chunked order gives the same
// grid as a plain row-by-row pass. Two nodes a step: the column shifts sit in their lanes once per
// chunk, the row's shift in the others once per row.
template <bool kColumnsDriveU>
void addSeparableWaves(DeformGrid* grid, float columnFreq, float columnPhase, float rowFreq,
                       float rowPhase, float amplitude) {
    if (!hasNodes(grid)) return;
    for (int32_t j0 = 0; j0 < grid->columns; j0 += kColumnChunk) {
        const int32_t count = std::min(kColumnChunk, grid->columns - j0);
        uint32_t columnShift[kColumnChunk];
        for (int32_t k = 0; k < count; ++k) {
            columnShift[k] = uint32_t(waveShift(amplitude, j0 + k, columnFreq, columnPhase));
        }
        const int32_t pairs = count / 2;
        NodePair columnPairs[kColumnChunk / 2];
        for (int32_t p = 0; p < pairs; ++p) {
            const uint32_t a = columnShift[2 * p], b = columnShift[2 * p + 1];
            columnPairs[p] = kColumnsDriveU ? NodePair{a, 0, b, 0} : NodePair{0, a, 0, b};
        }
        for (int32_t i = 0; i < grid->rows; ++i) {
            const uint32_t rowShift = uint32_t(waveShift(amplitude, i, rowFreq, rowPhase));
            const NodePair rowPair = kColumnsDriveU ? NodePair{0, rowShift, 0, rowShift}
                                                    : NodePair{rowShift, 0, rowShift, 0};
            GridNode* node = &nodeAt(grid, i, j0);
            for (int32_t p = 0; p < pairs; ++p)
                storePair(node + 2 * p, loadPair(node + 2 * p) + columnPairs[p] + rowPair);
            if (count % 2 != 0) {
                const int32_t k = count - 1;
                addTo(kColumnsDriveU ? node[k].u : node[k].v, int32_t(columnShift[k]));
                addTo(kColumnsDriveU ? node[k].v : node[k].u, int32_t(rowShift));
            }
        }
    }
}

}  // namespace

void gridSetPlane(DeformGrid* grid, int32_t spanU, int32_t spanV, int32_t offsetU,
                  int32_t offsetV) {
    if (!hasNodes(grid)) return;
    // The steps are stored as floats and summed in float, node by node: the plane carries the
    // rounding of that running sum (437 over 64 columns gives 6.828125 a step, node 3 lands on 30).
    // A grid one node wide never takes a step, so its step is left at 0 rather than divided out.
    const float stepU =
        grid->columns > 1 ? toFloat(static_cast<double>(spanU) / (grid->columns - 1)) : 0.0f;
    const float stepV =
        grid->rows > 1 ? toFloat(static_cast<double>(spanV) / (grid->rows - 1)) : 0.0f;
    // accU restarts on every row, so all rows share one set of u values: computed once per chunk
    // of columns, with the running sum carried on from the previous chunk, and stored two nodes a
    // step with the row's v in the other lanes.
    float accU = 0.0f;
    for (int32_t j0 = 0; j0 < grid->columns; j0 += kColumnChunk) {
        const int32_t count = std::min(kColumnChunk, grid->columns - j0);
        int32_t columnU[kColumnChunk];
        for (int32_t k = 0; k < count; ++k) {
            columnU[k] = truncToInt32(static_cast<double>(offsetU) + double{accU});
            accU = toFloat(double{accU} + double{stepU});
        }
        const int32_t pairs = count / 2;
        NodePair columnPairs[kColumnChunk / 2];
        for (int32_t p = 0; p < pairs; ++p)
            columnPairs[p] = NodePair{uint32_t(columnU[2 * p]), 0, uint32_t(columnU[2 * p + 1]), 0};
        float accV = 0.0f;
        for (int32_t i = 0; i < grid->rows; ++i) {
            const int32_t v = truncToInt32(static_cast<double>(offsetV) + double{accV});
            const NodePair rowPair{0, uint32_t(v), 0, uint32_t(v)};
            GridNode* node = &nodeAt(grid, i, j0);
            for (int32_t p = 0; p < pairs; ++p)
                storePair(node + 2 * p, columnPairs[p] | rowPair);
            if (count % 2 != 0) node[count - 1] = {columnU[count - 1], v};
            accV = toFloat(double{accV} + double{stepV});
        }
    }
}

void gridAddAxisWaves(DeformGrid* grid, float columnFreq, float rowFreq, float phaseU, float phaseV,
                      float amplitude) {
    addSeparableWaves<true>(grid, columnFreq, phaseU, rowFreq, phaseV, amplitude);
}

void gridAddCrossWaves(DeformGrid* grid, float columnFreq, float rowFreq, float phaseU,
                       float phaseV, float amplitude) {
    addSeparableWaves<false>(grid, columnFreq, phaseV, rowFreq, phaseU, amplitude);
}

void gridAddGrowingSine(DeformGrid* grid, float growth) {
    if (!hasNodes(grid)) return;
    // The per-row growth of the vertical factor, in double; the factor itself is stored as a float
    // after every row, so it accumulates single-precision rounding like the angle does.
    const double rowGrowth = double{growth} * std::sin(double{0.098125f});
    // The angle restarts on every row, so the sine of a column is the same on all rows: one table
    // per chunk, with the angle carried on from the previous chunk.
    float angle = 0.0f;
    for (int32_t j0 = 0; j0 < grid->columns; j0 += kColumnChunk) {
        const int32_t count = std::min(kColumnChunk, grid->columns - j0);
        float sine[kColumnChunk];
        for (int32_t k = 0; k < count; ++k) {
            sine[k] = toFloat(80.0 * std::sin(double{angle}));
            angle = toFloat(double{angle} + double{gridmath::kColumnAngleStep});
        }
        float rowFactor = 0.0f;
        for (int32_t i = 0; i < grid->rows; ++i) {
            GridNode* node = &nodeAt(grid, i, j0);
            for (int32_t k = 0; k < count; ++k) {
                addTo(node[k].u, truncToInt32(double{sine[k]}));
                addTo(node[k].v, truncToInt32(double{sine[k]} * double{rowFactor}));
            }
            rowFactor = toFloat(double{rowFactor} + rowGrowth);
        }
    }
}

void gridAddDecayingWaves(DeformGrid* grid, float columnFreq, float rowFreq, float phaseU,
                          float phaseV, float amplitude, int32_t startY) {
    // A negative start would put the start row above the grid, outside the node array.
    if (!hasNodes(grid) || startY < 0) return;
    const int32_t startRow = startY >> 3;
    const int32_t lastRow = grid->rows - 1;
    if (startRow > lastRow) return;
    // Frequency and amplitude are stored as floats row by row, so their rounding compounds.
    float frequency = columnFreq;
    float rowAmplitude = amplitude;
    for (int32_t i = startRow; i <= lastRow; ++i) {
        frequency = toFloat(double{frequency} * double{0.9f});
        rowAmplitude = toFloat(double{rowAmplitude} + 0.5);
        const int32_t shiftU = waveShift(rowAmplitude, i, rowFreq, phaseU);
        // The first and last rows keep their u wave but have v pinned: the start row to its top
        // pixel row (the start row wins when it is also the last), the last row to 256.
        const bool pinned = i == startRow || i == lastRow;
        const int32_t pinnedV = i == startRow ? startRow * kGridBlockSize : 256;
        GridNode* node = &nodeAt(grid, i, 0);
        for (int32_t j = 0; j < grid->columns; ++j) {
            addTo(node[j].u, shiftU);
            if (pinned) {
                node[j].v = pinnedV;
            } else {
                addTo(node[j].v, waveShift(rowAmplitude, j, frequency, phaseV));
            }
        }
    }
}
