// Matrix and vector operations of the 3D engine.
#include <cmath>

#include "engine3d/engine3d.h"
#include "engine3d/exact_float.h"
#include "engine3d/products.h"

// Every operation reads its float inputs into doubles, does all its arithmetic there and rounds
// each stored element to float once: the pose of the object depends on these exact roundings,
// so sums keep the written order and nothing is fused.

void matIdentity(Matrix4* m) {
    for (int i = 0; i < 16; ++i)
        m->m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void matCopy(const Matrix4* src, Matrix4* dst) {
    for (int i = 0; i < 16; ++i)
        dst->m[i] = src->m[i];
}

void matMultiply(const Matrix4* a, const Matrix4* b, Matrix4* out) {
    const float* x = a->m;
    const float* y = b->m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = double(x[4 * r]) * y[c] + double(x[4 * r + 1]) * y[4 + c] +
                         double(x[4 * r + 2]) * y[8 + c] + double(x[4 * r + 3]) * y[12 + c];
            out->m[4 * r + c] = float(sum);
        }
    }
}

void matMultiplyLinear(const Matrix4* a, const Matrix4* b, Matrix4* out) {
    const float* x = a->m;
    const float* y = b->m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = double(x[4 * r]) * y[c] + double(x[4 * r + 1]) * y[4 + c] +
                         double(x[4 * r + 2]) * y[8 + c];
            out->m[4 * r + c] = float(sum);
        }
    }
}

void matRotate(Matrix4* m, float ax, float ay, float az) {
    // The sines and cosines are rounded to float before the products, as the pose expects.
    double sx = float(std::sin(double(ax))), sy = float(std::sin(double(ay)));
    double sz = float(std::sin(double(az))), cx = float(std::cos(double(ax)));
    double cy = float(std::cos(double(ay))), cz = float(std::cos(double(az)));
    Matrix4 r;
    matIdentity(&r);
    r.m[0] = float(cy * cz);
    r.m[1] = float(cy * sz);
    r.m[2] = float(-sy);
    r.m[4] = float(sx * sy * cz - cx * sz);
    r.m[5] = float(sx * sy * sz + cx * cz);
    r.m[6] = float(sx * cy);
    r.m[8] = float(cx * sy * cz + sx * sz);
    r.m[9] = float(cx * sy * sz - sx * cz);
    r.m[10] = float(cx * cy);
    Matrix4 product;
    matMultiply(m, &r, &product);
    matCopy(&product, m);
}

void matTranslate(Matrix4* m, float x, float y, float z) {
    Matrix4 t;
    matIdentity(&t);
    t.m[3] = x;
    t.m[7] = y;
    t.m[11] = z;
    Matrix4 product;
    matMultiply(m, &t, &product);
    matCopy(&product, m);
}

void matScale(Matrix4* m, float x, float y, float z) {
    Matrix4 s;
    matIdentity(&s);
    s.m[0] = x;
    s.m[5] = y;
    s.m[10] = z;
    Matrix4 product;
    matMultiply(m, &s, &product);
    matCopy(&product, m);
}

void matSetTranslation(Matrix4* m, float x, float y, float z) {
    m->m[3] = x;
    m->m[7] = y;
    m->m[11] = z;
}

void matNormalizeRows(Matrix4* m) {
    float length[3];
    for (int r = 0; r < 3; ++r) {
        const float* row = m->m + 4 * r;
        length[r] = float(
            std::sqrt(double(row[0]) * row[0] + double(row[1]) * row[1] + double(row[2]) * row[2]));
    }
    for (int r = 0; r < 3; ++r) {
        // A zero row has no direction to keep; it stays zero rather than turning into NaN.
        if (length[r] == 0.0f) continue;
        for (int c = 0; c < 3; ++c)
            m->m[4 * r + c] = float(double(m->m[4 * r + c]) / length[r]);
    }
}

void matFromQuaternion(Matrix4* m, float x, float y, float z, float w) {
    float x2 = float(double(x) + x), y2 = float(double(y) + y), z2 = float(double(z) + z);
    double wx = float(double(w) * x2), wy = float(double(w) * y2), wz = float(double(w) * z2);
    double xx = float(double(x) * x2), xy = float(double(x) * y2), xz = float(double(x) * z2);
    double yy = float(double(y) * y2), yz = float(double(y) * z2), zz = float(double(z) * z2);
    m->m[0] = float(1.0 - yy - zz);
    m->m[1] = float(xy + wz);
    m->m[2] = float(xz - wy);
    m->m[4] = float(xy - wz);
    m->m[5] = float(1.0 - xx - zz);
    m->m[6] = float(yz + wx);
    m->m[8] = float(xz + wy);
    m->m[9] = float(yz - wx);
    m->m[10] = float(1.0 - xx - yy);
}

void matTransformPoint(const Matrix4* m, Vec3* out, float x, float y, float z) {
    const float* e = m->m;
    out->x = float(double(e[0]) * x + double(e[1]) * y + double(e[2]) * z + e[3]);
    out->y = float(double(e[4]) * x + double(e[5]) * y + double(e[6]) * z + e[7]);
    out->z = float(double(e[8]) * x + double(e[9]) * y + double(e[10]) * z + e[11]);
}

void matTransformPointAndNormal(const Matrix4* m, float* out, float px, float py, float pz,
                                float nx, float ny, float nz) {
    products::transformPointAndNormal(m, out, px, py, pz, nx, ny, nz);
}

Vec3 matRotateVector(const Matrix4* m, float x, float y, float z) {
    return products::rotateVector(m, x, y, z);
}

void rotateVectorBy(float x, float y, float z, Vec3* out, const Matrix4* m) {
    *out = products::rotateVector(m, x, y, z);
}

void matTransformPointTransposed(float x, float y, float z, Vec3* out, const Matrix4* m) {
    const float* e = m->m;
    out->x = float(double(x) * e[0] + double(y) * e[4] + double(z) * e[8] + e[12]);
    out->y = float(double(x) * e[1] + double(y) * e[5] + double(z) * e[9] + e[13]);
    out->z = float(double(x) * e[2] + double(y) * e[6] + double(z) * e[10] + e[14]);
}

float dot3(float ax, float ay, float az, float bx, float by, float bz) {
    return products::dot(ax, ay, az, bx, by, bz);
}
