// Number helpers shared by the grid generators (private to gridmap/): rounding and wrap-around.
#pragma once

#include <cmath>
#include <cstdint>

#include "gridmap/gridmap.h"

namespace gridmath {

// Conversion to int32 by truncation toward zero. Values beyond the int32 range (a tangent near its
// pole, extreme amplitudes, infinities) saturate at the nearest end instead of being undefined, and
// NaN becomes 0 so that a broken parameter leaves the nodes where they were.
inline int32_t truncToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0) return INT32_MAX;
    if (value <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// node += displacement with two's-complement wrap-around, never signed overflow.
inline void addTo(int32_t& node, int32_t displacement) {
    node = static_cast<int32_t>(static_cast<uint32_t>(node) + static_cast<uint32_t>(displacement));
}

// Rounds an intermediate to single precision where the effect stores it as a float; everything
// between such stores is evaluated in double.
inline float toFloat(double value) {
    return static_cast<float>(value);
}

inline bool hasNodes(const DeformGrid* grid) {
    return grid != nullptr && grid->nodes != nullptr && grid->rows > 0 && grid->columns > 0;
}

inline GridNode& nodeAt(DeformGrid* grid, int32_t i, int32_t j) {
    return grid->nodes[static_cast<int64_t>(i) * grid->columns + j];
}

// The angle step of the tangent warp and the growing sine: 0.0490625 in single precision.
constexpr float kColumnAngleStep = 0.0490625f;

}  // namespace gridmath
