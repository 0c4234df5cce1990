// The radial generators: pushes along each node's offset from a centre (sines, ripples, zoom,
// tangent warp) and the directional shift.
#include <cmath>
#include <cstdint>

#include "gridmap/gridmap.h"
#include "gridmap/node_math.h"

using gridmath::addTo;
using gridmath::hasNodes;
using gridmath::nodeAt;
using gridmath::toFloat;
using gridmath::truncToInt32;

namespace {

// Adds trunc(dx * k) to u and trunc(dy * k) to v: a push along the offset from the centre, each
// component truncated on its own.
void pushAlong(GridNode& node, double dx, double dy, float k) {
    addTo(node.u, truncToInt32(dx * double{k}));
    addTo(node.v, truncToInt32(dy * double{k}));
}

// Offset of column j or row i from the half centre, stored as a float.
float halfOffset(int32_t index, float centre) {
    return toFloat(static_cast<double>(index) - double{centre});
}

// Integer centre offsets and the distance of their integer sum of squares, in double.
struct IntegerOffset {
    int32_t dx, dy;
    double distance;
};

IntegerOffset integerOffset(const DeformGrid* grid, int32_t i, int32_t j) {
    const int32_t dx = j - grid->columns / 2;
    const int32_t dy = i - grid->rows / 2;
    const int64_t squares = int64_t{dx} * dx + int64_t{dy} * dy;
    return {dx, dy, std::sqrt(static_cast<double>(squares))};
}

// Runs push(node, offset) over every node with its offset from the integer centre.
template <typename Push>
void forEachAroundIntegerCentre(DeformGrid* grid, Push push) {
    for (int32_t i = 0; i < grid->rows; ++i) {
        for (int32_t j = 0; j < grid->columns; ++j)
            push(nodeAt(grid, i, j), integerOffset(grid, i, j));
    }
}

// Pushes every node along its offset from the integer centre by k = factorOf(distance). The
// factor is worked out once per distinct distance: nodes at mirrored offsets, and at different
// offsets with the same sum of squares, take the very same double argument and so the very same
// factor. The show's grid has 2145 nodes but only a few hundred distinct distances; sums of
// squares beyond the table are worked out node by node.
template <typename Factor>
void pushByDistance(DeformGrid* grid, Factor factorOf) {
    constexpr int64_t kKnownSquares = 2048;  // covers grids up to 65 x 57 nodes
    float factors[kKnownSquares];
    bool known[kKnownSquares] = {};
    for (int32_t i = 0; i < grid->rows; ++i) {
        for (int32_t j = 0; j < grid->columns; ++j) {
            const int32_t dx = j - grid->columns / 2;
            const int32_t dy = i - grid->rows / 2;
            // The distance as integerOffset forms it.
            const int64_t squares = int64_t{dx} * dx + int64_t{dy} * dy;
            float k;
            if (squares >= kKnownSquares) {
                k = factorOf(std::sqrt(static_cast<double>(squares)));
            } else {
                if (!known[squares]) {
                    factors[squares] = factorOf(std::sqrt(static_cast<double>(squares)));
                    known[squares] = true;
                }
                k = factors[squares];
            }
            pushAlong(nodeAt(grid, i, j), dx, dy, k);
        }
    }
}

}  // namespace

void gridAddRadialSine(DeformGrid* grid, float amount) {
    if (!hasNodes(grid)) return;
    const float cx = toFloat(grid->columns / 2.0);
    const float cy = toFloat(grid->rows / 2.0);
    for (int32_t i = 0; i < grid->rows; ++i) {
        const float dy = halfOffset(i, cy);
        for (int32_t j = 0; j < grid->columns; ++j) {
            const float dx = halfOffset(j, cx);
            // The distance stays in double here; only the factor is stored as a float.
            const double r = std::sqrt(double{dx} * dx + double{dy} * dy);
            pushAlong(nodeAt(grid, i, j), dx, dy, toFloat(std::sin(r) * double{amount}));
        }
    }
}

void gridAddRadialZoom(DeformGrid* grid, float amount) {
    if (!hasNodes(grid)) return;
    const float cx = toFloat(grid->columns / 2.0);
    const float cy = toFloat(grid->rows / 2.0);
    for (int32_t i = 0; i < grid->rows; ++i) {
        const float dy = halfOffset(i, cy);
        for (int32_t j = 0; j < grid->columns; ++j) {
            const float dx = halfOffset(j, cx);
            const float r = toFloat(std::sqrt(double{dx} * dx + double{dy} * dy));
            pushAlong(nodeAt(grid, i, j), dx, dy, toFloat(double{amount} * double{r}));
        }
    }
}

void gridAddTangentWarp(DeformGrid* grid) {
    if (!hasNodes(grid)) return;
    // The centre is fixed at column 32, row 12 whatever the grid's size.
    constexpr int32_t kCentreColumn = 32;
    constexpr int32_t kCentreRow = 12;
    for (int32_t i = 0; i < grid->rows; ++i) {
        const float dy = toFloat(static_cast<double>(i) - kCentreRow);
        // The angle is a float sum restarted on every row: column 32 reaches 1.5699998, just short
        // of the pole, and tan changes sign between columns 32 and 33. Beyond the pole the push
        // can leave the int32 range; the truncation saturates it.
        float angle = 0.0f;
        for (int32_t j = 0; j < grid->columns; ++j) {
            const float dx = toFloat(static_cast<double>(j) - kCentreColumn);
            const float r = toFloat(std::sqrt(double{dx} * dx + double{dy} * dy));
            pushAlong(nodeAt(grid, i, j), dx, dy, toFloat(std::tan(double{angle}) * double{r}));
            angle = toFloat(double{angle} + double{gridmath::kColumnAngleStep});
        }
    }
}

void gridAddCosineRipple(DeformGrid* grid, float frequency, float amplitude) {
    if (!hasNodes(grid)) return;
    pushByDistance(grid, [&](double distance) {
        return toFloat(double{amplitude} * std::cos(distance * double{frequency}));
    });
}

void gridAddRaisedRipple(DeformGrid* grid, float frequency, float phase, float amplitude) {
    if (!hasNodes(grid)) return;
    pushByDistance(grid, [&](double distance) {
        const double ring = std::cos(distance * double{frequency} - double{phase}) + 1.0;
        return toFloat(double{amplitude} * ring);
    });
}

void gridAddDirectionalShift(DeformGrid* grid, float angle, float scale) {
    if (!hasNodes(grid)) return;
    const double alongU = std::sin(double{angle});
    const double alongV = std::cos(double{angle});
    forEachAroundIntegerCentre(grid, [&](GridNode& node, const IntegerOffset& at) {
        // The distance is stored as a float; its product with the scale is not.
        const double m = double{scale} * double{toFloat(at.distance)};
        addTo(node.u, truncToInt32(alongU * m));
        addTo(node.v, truncToInt32(alongV * m));
    });
}
