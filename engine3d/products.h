// Private to the engine: the matrix-vector products and the dot product as inline functions, so
// that the renderer's per-vertex and per-face loops make no call for each one.
#pragma once

#include "engine3d/engine3d.h"

namespace products {

// Row r of m's 3x3 block times (x, y, z), in double; the caller stores it as a float.
inline double rowTimes(const float* e, int r, float x, float y, float z) {
    return double(e[4 * r]) * x + double(e[4 * r + 1]) * y + double(e[4 * r + 2]) * z;
}

// out[0..2] = m applied to the point p, out[3..5] = the 3x3 block applied to the direction n.
inline void transformPointAndNormal(const Matrix4* m, float* out, float px, float py, float pz,
                                    float nx, float ny, float nz) {
    const float* e = m->m;
    out[0] = float(rowTimes(e, 0, px, py, pz) + e[3]);
    out[1] = float(rowTimes(e, 1, px, py, pz) + e[7]);
    out[2] = float(rowTimes(e, 2, px, py, pz) + e[11]);
    out[3] = float(rowTimes(e, 0, nx, ny, nz));
    out[4] = float(rowTimes(e, 1, nx, ny, nz));
    out[5] = float(rowTimes(e, 2, nx, ny, nz));
}

// The 3x3 block of m applied to (x, y, z).
inline Vec3 rotateVector(const Matrix4* m, float x, float y, float z) {
    const float* e = m->m;
    return Vec3{float(rowTimes(e, 0, x, y, z)), float(rowTimes(e, 1, x, y, z)),
                float(rowTimes(e, 2, x, y, z))};
}

// ax bx + ay by + az bz, summed in double from the left.
inline float dot(float ax, float ay, float az, float bx, float by, float bz) {
    return float(double(ax) * bx + double(ay) * by + double(az) * bz);
}

}  // namespace products
