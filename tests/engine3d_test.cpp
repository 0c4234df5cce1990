// Tests of the 3D engine: math, rasterizer, loaders, world, renderer and wireframe.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine3d/engine3d.h"
#include "engine3d/exact_float.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Buffers and helpers

constexpr int kTargetPixels = kPitch * 257;  // rows 0..256 can be written

struct Buffers {
    std::vector<Pixel> target = std::vector<Pixel>(kScreenPixels, 0);
    std::vector<float> depth = std::vector<float>(kDepthValues, 0.0f);
};

ScreenVertex sv(int32_t x, int32_t y, float z = 100.0f, float r = 1, float g = 1, float b = 1) {
    return ScreenVertex{x, y, r, g, b, z};
}

std::vector<int> rowColumns(const Buffers& b, int y) {
    std::vector<int> xs;
    for (int x = 0; x < kPitch; ++x) {
        if (b.target[y * kPitch + x] != 0) xs.push_back(x);
    }
    return xs;
}

// [first, last] of a row's drawn run, or {-1, -1}.
std::pair<int, int> rowRun(const Buffers& b, int y) {
    auto xs = rowColumns(b, y);
    if (xs.empty()) return {-1, -1};
    return {xs.front(), xs.back()};
}

std::filesystem::path scratchDir() {
    auto dir = std::filesystem::path(BRINDLEHOP_BINARY_DIR) / "engine3d_test_files";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string writeFile(const std::string& name, const std::string& contents) {
    auto path = scratchDir() / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
}

// ---------------------------------------------------------------------------------------------
// Slow references: the algorithms as written, every row and every span, nothing skipped.

void refSpan(Pixel* t, float* d, int x1, int x2, int y, float w1, float w2, int r1, int g1, int b1,
             int r2, int g2, int b2) {
    if (x1 == x2) return;
    if (x1 > x2) {
        std::swap(x1, x2), std::swap(w1, w2), std::swap(r1, r2), std::swap(g1, g2),
            std::swap(b1, b2);
    }
    if (x1 < 1 || x2 > 510) return;
    if (y < 0) y = 0;
    int n = x2 - x1;
    float ws = float((double(w2) - w1) / n), rs = float(double(r2 - r1) / n),
          gs = float(double(g2 - g1) / n), bs = float(double(b2 - b1) / n);
    float w = w1, r = float(r1), g = float(g1), b = float(b1);
    for (int x = x1; x < x2; ++x) {
        if (w > d[y * 512 + x]) {
            t[y * 512 + x] = (uint32_t(int(r)) << 16) | (uint32_t(int(g)) << 8) | uint32_t(int(b));
            d[y * 512 + x] = w;
        }
        w += ws, r += rs, g += gs, b += bs;
    }
}

struct RefEdge {
    int64_t col, step;  // 16.16, exact: no wrap-around to imitate
    float w, ws, r, rs, g, gs, b, bs;
};

RefEdge refSteps(const ScreenVertex& p, const ScreenVertex& q, int h) {
    RefEdge e{};
    e.step = (int64_t(q.X) - p.X) * 65536 / h;
    e.ws = float((1.0 / q.Z - 1.0 / p.Z) / h);
    e.rs = float((double(q.R) - p.R) / h);
    e.gs = float((double(q.G) - p.G) / h);
    e.bs = float((double(q.B) - p.B) / h);
    return e;
}

void refTriangle(Pixel* t, float* d, ScreenVertex A, ScreenVertex B, ScreenVertex C, float bias) {
    if (B.Y > C.Y) std::swap(B, C);
    if (A.Y > C.Y) std::swap(A, C);
    if (A.Y > B.Y) std::swap(A, B);
    if (A.Y == C.Y) return;
    RefEdge L = refSteps(A, C, C.Y - A.Y), S{};
    auto start = [&](RefEdge& e, const ScreenVertex& v) {
        e.col = int64_t(v.X) * 65536, e.w = float(1.0 / v.Z + bias), e.r = v.R, e.g = v.G,
        e.b = v.B;
    };
    auto rows = [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            if (y > 256) return false;
            refSpan(t, d, int(L.col >> 16), int(S.col >> 16), y, L.w, S.w, int(L.r * 255.0),
                    int(L.g * 255.0), int(L.b * 255.0), int(S.r * 255.0), int(S.g * 255.0),
                    int(S.b * 255.0));
            for (RefEdge* e : {&L, &S}) {
                e->col += e->step, e->w += e->ws, e->r += e->rs, e->g += e->gs, e->b += e->bs;
            }
        }
        return true;
    };
    if (B.Y != A.Y) {
        S = refSteps(A, B, B.Y - A.Y);
        start(L, A), start(S, A);
        if (!rows(A.Y, B.Y)) return;
    }
    if (C.Y != B.Y) {
        S = refSteps(B, C, C.Y - B.Y);
        int k = B.Y - A.Y;
        L.col = int64_t(A.X) * 65536 + L.step * k;
        L.w = float((1.0 / A.Z + k * double(L.ws)) + bias);
        L.r = float(A.R + k * double(L.rs)), L.g = float(A.G + k * double(L.gs)),
        L.b = float(A.B + k * double(L.bs));
        start(S, B);
        rows(B.Y, C.Y);
    }
}

// ---------------------------------------------------------------------------------------------
// Matrices

TEST(Math, TranslateAndTransformPoint) {
    Matrix4 m;
    matIdentity(&m);
    matTranslate(&m, 0, 0, 180);
    EXPECT_EQ(m.m[3], 0.0f);
    EXPECT_EQ(m.m[7], 0.0f);
    EXPECT_EQ(m.m[11], 180.0f);
    Vec3 p;
    matTransformPoint(&m, &p, 1, 2, 3);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 183.0f);
}

TEST(Math, LaterFactorsActFirst) {
    float az = 0.7f;
    Matrix4 m;
    matIdentity(&m);
    matRotate(&m, 0, 0, az);
    matTranslate(&m, 1, 0, 0);
    EXPECT_EQ(m.m[3], float(std::cos(double(az))));
    EXPECT_EQ(m.m[7], -float(std::sin(double(az))));
    EXPECT_EQ(m.m[11], 0.0f);

    Matrix4 a, b, out;
    matIdentity(&a);
    matTranslate(&a, 1, 0, 0);
    matIdentity(&b);
    matScale(&b, 2, 2, 2);
    Vec3 p;
    matMultiply(&a, &b, &out);
    matTransformPoint(&out, &p, 1, 1, 1);
    EXPECT_EQ(p.x, 3.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 2.0f);
    matMultiply(&b, &a, &out);
    matTransformPoint(&out, &p, 1, 1, 1);
    EXPECT_EQ(p.x, 4.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 2.0f);
}

TEST(Math, QuarterTurnsToTheBit) {
    Matrix4 m;
    matIdentity(&m);
    matRotate(&m, 0, 0, float(std::numbers::pi / 2));
    const float c = -0x1.777a5cp-25f;  // float(cos(float(pi / 2)))
    const float rot[16] = {c, 1, 0, 0, -1, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], rot[i]) << i;
    Vec3 p;
    matTransformPoint(&m, &p, 1, 0, 0);
    EXPECT_EQ(p.x, c);
    EXPECT_EQ(p.y, -1.0f);

    Matrix4 q;
    matIdentity(&q);
    matFromQuaternion(&q, 0, 0, float(std::sin(std::numbers::pi / 4)), float(std::cos(std::numbers::pi / 4)));
    const float e = 0x1p-24f, one = 0x1.fffffep-1f;  // 1 - zz and w * 2z, rounded
    const float quat[16] = {e, one, 0, 0, -one, e, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(q.m[i], quat[i]) << i;
}

TEST(Math, RotateIsTransposeOfZYXProduct) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-7, 7);
    for (int trial = 0; trial < 100; ++trial) {
        float ax = angle(rng), ay = angle(rng), az = angle(rng);
        Matrix4 m;
        matIdentity(&m);
        matRotate(&m, ax, ay, az);
        auto rz = [&](double a) {
            return std::vector<double>{cos(a), -sin(a), 0, sin(a), cos(a), 0, 0, 0, 1};
        };
        auto ry = [&](double a) {
            return std::vector<double>{cos(a), 0, sin(a), 0, 1, 0, -sin(a), 0, cos(a)};
        };
        auto rx = [&](double a) {
            return std::vector<double>{1, 0, 0, 0, cos(a), -sin(a), 0, sin(a), cos(a)};
        };
        auto mul = [](const std::vector<double>& p, const std::vector<double>& q) {
            std::vector<double> o(9, 0);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    for (int k = 0; k < 3; ++k)
                        o[3 * r + c] += p[3 * r + k] * q[3 * k + c];
            return o;
        };
        auto zyx = mul(mul(rz(az), ry(ay)), rx(ax));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(m.m[4 * r + c], zyx[3 * c + r], 1e-6);
    }
}

TEST(Math, NormalizeRowsAndOtherTransforms) {
    Matrix4 m;
    matIdentity(&m);
    m.m[0] = 3, m.m[1] = 4, m.m[3] = 9;
    m.m[4] = m.m[5] = m.m[6] = 0;  // a zero row stays zero
    matNormalizeRows(&m);
    EXPECT_FLOAT_EQ(m.m[0], 0.6f);
    EXPECT_FLOAT_EQ(m.m[1], 0.8f);
    EXPECT_EQ(m.m[2], 0.0f);
    EXPECT_EQ(m.m[3], 9.0f);
    EXPECT_EQ(m.m[4], 0.0f);
    EXPECT_EQ(m.m[5], 0.0f);

    Matrix4 t;
    matIdentity(&t);
    matTranslate(&t, 5, 6, 7);
    float out[6];
    matTransformPointAndNormal(&t, out, 1, 1, 1, 0.25f, -0.5f, 2);
    EXPECT_EQ(out[0], 6.0f);
    EXPECT_EQ(out[3], 0.25f);
    EXPECT_EQ(out[4], -0.5f);
    EXPECT_EQ(out[5], 2.0f);

    Matrix4 tr;
    matIdentity(&tr);
    tr.m[14] = 5;
    Vec3 p;
    matTransformPointTransposed(0, 0, 0, &p, &tr);
    EXPECT_EQ(p.z, 5.0f);
    matIdentity(&tr);
    tr.m[11] = 5;
    matTransformPointTransposed(0, 0, 0, &p, &tr);
    EXPECT_EQ(p.z, 0.0f);
    EXPECT_EQ(dot3(1, 2, 3, 4, 5, 6), 32.0f);
}

// ---------------------------------------------------------------------------------------------
// Rasterizer

TEST(Raster, CoverageTable) {
    resetDepthBias();
    Buffers b;
    drawGouraudTriangle(b.target.data(), b.depth.data(), sv(10, 10), sv(20, 14), sv(12, 18));
    const std::pair<int, int> want[] = {{-1, -1}, {10, 11}, {10, 14}, {10, 16}, {11, 19},
                                        {11, 17}, {11, 15}, {11, 13}, {-1, -1}};
    for (int y = 10; y <= 18; ++y)
        EXPECT_EQ(rowRun(b, y), want[y - 10]) << "row " << y;
    for (int y : {9, 19})
        EXPECT_TRUE(rowColumns(b, y).empty());
}

TEST(Raster, FlatTopsBottomsAndVerticalLimits) {
    resetDepthBias();
    auto rowsDrawn = [](ScreenVertex a, ScreenVertex b2, ScreenVertex c) {
        Buffers b;
        drawGouraudTriangle(b.target.data(), b.depth.data(), a, b2, c);
        std::vector<int> rows;
        for (int y = 0; y < 257; ++y)
            if (!rowColumns(b, y).empty()) rows.push_back(y);
        return rows;
    };
    auto span = [](int from, int to) {
        std::vector<int> v;
        for (int y = from; y <= to; ++y)
            v.push_back(y);
        return v;
    };
    EXPECT_EQ(rowsDrawn(sv(10, 10), sv(60, 10), sv(30, 20)), span(10, 19));
    EXPECT_EQ(rowsDrawn(sv(30, 10), sv(10, 20), sv(60, 20)), span(11, 19));  // pointed top
    EXPECT_EQ(rowsDrawn(sv(10, 10), sv(90, 20), sv(10, 20)).back(), 19);
    EXPECT_EQ(rowsDrawn(sv(10, 240), sv(100, 240), sv(50, 300)), span(240, 256));
    EXPECT_TRUE(rowsDrawn(sv(10, 300), sv(100, 300), sv(50, 320)).empty());
    EXPECT_TRUE(rowsDrawn(sv(10, 50), sv(100, 50), sv(200, 50)).empty());
    // Beyond the 16.16 range nothing is drawn (and nothing overflows).
    EXPECT_TRUE(rowsDrawn(sv(10, 10), sv(40000, 20), sv(10, 30)).empty());
    EXPECT_TRUE(rowsDrawn(sv(10, -40000), sv(40, 20), sv(10, 30)).empty());
}

// The span's colour steps multiply by one reciprocal of the span's length instead of dividing
// each channel: that gives the same float for every byte difference over every span length a
// drawn span can have (columns 1..510).
TEST(Raster, ColourStepByReciprocalIsTheQuotient) {
    for (int32_t n = 1; n <= 509; ++n) {
        const double perColumn = 1.0 / n;
        for (int32_t difference = -255; difference <= 255; ++difference) {
            const float quotient = float(double(difference) / n);
            const float product = float(double(difference) * perColumn);
            ASSERT_EQ(std::bit_cast<uint32_t>(product), std::bit_cast<uint32_t>(quotient))
                << difference << " / " << n;
        }
    }
}

TEST(Raster, SpanEndsColoursAndDepth) {
    resetDepthBias();
    Buffers b;
    Pixel* t = b.target.data();
    float* d = b.depth.data();
    drawDepthSpan(t, d, 10, 12, 5, 1, 1, 255, 0, 0, 0, 0, 255);
    EXPECT_EQ(t[5 * 512 + 10], 0x00FF0000u);
    EXPECT_EQ(t[5 * 512 + 11], 0x007F007Fu);
    EXPECT_EQ(t[5 * 512 + 12], 0u);

    drawDepthSpan(t, d, 0, 20, 6, 1, 1, 9, 9, 9, 9, 9, 9);
    drawDepthSpan(t, d, 500, 511, 6, 1, 1, 9, 9, 9, 9, 9, 9);
    drawDepthSpan(t, d, 30, 30, 6, 1, 1, 9, 9, 9, 9, 9, 9);
    EXPECT_TRUE(rowColumns(b, 6).empty());
    drawDepthSpan(t, d, 1, 510, 7, 1, 1, 9, 9, 9, 9, 9, 9);
    EXPECT_EQ(rowRun(b, 7), std::make_pair(1, 509));

    // Right-to-left equals left-to-right with the ends exchanged.
    Buffers l, r;
    drawDepthSpan(l.target.data(), l.depth.data(), 20, 90, 3, 0.5f, 0.9f, 10, 20, 30, 200, 100, 0);
    drawDepthSpan(r.target.data(), r.depth.data(), 90, 20, 3, 0.9f, 0.5f, 200, 100, 0, 10, 20, 30);
    EXPECT_EQ(l.target, r.target);
    EXPECT_EQ(l.depth, r.depth);

    // Equal depth keeps the first pixel; an earlier render's smaller values are overwritten,
    // a larger value of this render is not.
    drawDepthSpan(t, d, 100, 110, 8, 2, 2, 255, 0, 0, 255, 0, 0);
    drawDepthSpan(t, d, 100, 110, 8, 2, 2, 0, 255, 0, 0, 255, 0);
    EXPECT_EQ(t[8 * 512 + 105], 0x00FF0000u);
    drawDepthSpan(t, d, 100, 110, 8, 3, 3, 0, 255, 0, 0, 255, 0);
    EXPECT_EQ(t[8 * 512 + 105], 0x0000FF00u);
    drawDepthSpan(t, d, 100, 110, 8, 2.5f, 2.5f, 0, 0, 255, 0, 0, 255);
    EXPECT_EQ(t[8 * 512 + 105], 0x0000FF00u);
    // Above the target lands on row 0; below row 256 nothing.
    drawDepthSpan(t, d, 40, 50, -7, 1, 1, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(rowRun(b, 0), std::make_pair(40, 49));
    std::vector<Pixel> before = b.target;
    drawDepthSpan(t, d, 40, 50, 257, 1, 1, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(b.target, before);
}

TEST(Raster, AboveTargetRowsEachLandOnRowZero) {
    // Depth falls toward the bottom, so every lower row's span loses to the one above it
    // except where it is wider: row 0 must show each row's own depth test.
    resetDepthBias();
    Buffers b, ref;
    ScreenVertex a = sv(200, -40, 10, 1, 0, 0), c = sv(100, 20, 200, 0, 1, 0),
                 m = sv(300, 10, 50, 0, 0, 1);
    drawGouraudTriangle(b.target.data(), b.depth.data(), a, m, c);
    refTriangle(ref.target.data(), ref.depth.data(), a, m, c, 0.0f);
    for (int i = 0; i < kScreenPixels; ++i) {
        ASSERT_EQ(b.target[i], ref.target[i]) << i;
        ASSERT_EQ(b.depth[i], ref.depth[i]) << i;
    }
    EXPECT_FALSE(rowColumns(b, 0).empty());
}

TEST(Raster, MatchesReferenceOnRandomTriangles) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> col(-60, 570), row(-80, 330), far(-32767, 32767);
    std::uniform_real_distribution<float> unit(0, 1), z(1.5f, 500);
    Buffers b, ref;
    for (int render = 0; render < 40; ++render) {
        resetDepthBias();
        for (int i = 0; i < render; ++i)
            advanceDepthBias(b.depth.data());
        for (int i = 0; i < render; ++i)
            advanceDepthBias(ref.depth.data());
        for (int n = 0; n < 50; ++n) {
            ScreenVertex v[3];
            for (auto& p : v) {
                bool wild = rng() % 16 == 0;
                p = ScreenVertex{wild ? far(rng) : col(rng),
                                 wild ? far(rng) : row(rng),
                                 unit(rng),
                                 unit(rng),
                                 unit(rng),
                                 z(rng)};
            }
            drawGouraudTriangle(b.target.data(), b.depth.data(), v[0], v[1], v[2]);
            refTriangle(ref.target.data(), ref.depth.data(), v[0], v[1], v[2], currentDepthBias());
        }
    }
    EXPECT_EQ(b.target, ref.target);
    EXPECT_EQ(b.depth, ref.depth);
    for (int i = kTargetPixels; i < kScreenPixels; ++i)
        ASSERT_EQ(b.target[i], 0u) << i;
    resetDepthBias();
}

// ---------------------------------------------------------------------------------------------
// Projection and lighting

TEST(Render, ProjectionTruncatesAndStaysDefined) {
    ScreenVertex s{0, 0, 0.25f, 0.5f, 0.75f, 0};
    projectVertex(400, &s, MeshVertex{{1, 1, 3}, {}});
    EXPECT_EQ(s.X, 389);
    EXPECT_EQ(s.Y, 327);
    EXPECT_EQ(s.Z, 3.0f);
    EXPECT_EQ(s.R, 0.25f);  // colour untouched
    projectVertex(400, &s, MeshVertex{{-1, -1, 3}, {}});
    EXPECT_EQ(s.X, 123);
    EXPECT_EQ(s.Y, 61);
    // Near and at the eye plane, or NaN: held far off the target, never an undefined cast.
    for (float z : {0.0f, -0.0f, 1e-30f, NAN}) {
        projectVertex(400, &s, MeshVertex{{1, -1, z}, {}});
        EXPECT_TRUE(std::abs(int64_t{s.X}) > 32767 && std::abs(int64_t{s.Y}) > 32767) << z;
    }
}

Material exampleMaterial() {
    return Material{{0.1f, 0.1f, 0.1f}, {0.5f, 0.25f, 0}, {1, 1, 1}, 1, 0.5f, 0.2f, 50};
}

TEST(Render, LightingExample) {
    Light light{{1, 1, 1}, {0, 0, 0}, 100};
    Material mat = exampleMaterial();
    MeshVertex v{{0, 0, 50}, {0, 0, 1}};
    ScreenVertex s{};
    lightVertex(Vec3{0, 0, 1}, &mat, &v, &s, &light, 1, 0);
    // diffuse 2, facing -1, atten 0.75, specular 1: ambient 0.1 * 0.5 plus 0.75 * (0.5 + 0.2).
    auto channel = [&](int c) {
        return float(double(mat.AmbColor[c]) * mat.AmbCoef * mat.DifColor[c] +
                     0.75 * 1.0 *
                         (double(mat.DifCoef) * mat.DifColor[c] * 2.0 +
                          double(mat.SpeCoef) * mat.SpeColor[c] * 1.0));
    };
    EXPECT_EQ(s.R, channel(0));
    EXPECT_EQ(s.G, channel(1));
    EXPECT_EQ(s.B, channel(2));
    EXPECT_NEAR(s.R, 0.575, 1e-6);
    EXPECT_NEAR(s.G, 0.3625, 1e-6);
    EXPECT_NEAR(s.B, 0.15, 1e-6);

    // At exactly the radius only the ambient term is left; beyond it the light darkens.
    MeshVertex edge{{0, 0, 100}, {0, 0, 1}};
    lightVertex(Vec3{0, 0, 1}, &mat, &edge, &s, &light, 1, 0);
    EXPECT_EQ(s.R, float(0.1f * 0.5));
    MeshVertex beyond{{0, 0, 150}, {0, 0, 1}};
    lightVertex(Vec3{0, 0, 1}, &mat, &beyond, &s, &light, 1, 0);
    EXPECT_EQ(s.R, 0.0f);

    // No lights: black. No material: blue.
    lightVertex(Vec3{0, 0, 1}, &mat, &v, &s, &light, 0, 0);
    EXPECT_EQ(s.R + s.G + s.B, 0.0f);
    lightVertex(Vec3{0, 0, 1}, nullptr, &v, &s, &light, 1, -1);
    EXPECT_EQ(s.R, 0.0f);
    EXPECT_EQ(s.B, 1.0f);
}

TEST(Render, LightingDegenerateCasesStayInRange) {
    Material mat = exampleMaterial();
    mat.Shininess = 50.5f;  // pow of a negative facing is NaN
    struct Case {
        Light light;
        MeshVertex vertex;
        Vec3 eye;
    } cases[] = {
        {{{1, 1, 1}, {0, 0, 0}, 0}, {{0, 0, 50}, {0, 0, 1}}, {0, 0, 1}},       // radius 0
        {{{1, 1, 1}, {0, 0, 50}, 0}, {{0, 0, 50}, {0, 0, 1}}, {0, 0, 1}},      // and at the light
        {{{1, 1, 1}, {0, 0, 50}, 100}, {{0, 0, 50}, {0, 0, 1}}, {0, 0, 1}},    // at the light
        {{{1, 1, 1}, {0, 0, 0}, 100}, {{0, 0, 1}, {0, 0, 1}}, {0, 0, 1}},      // at the eye
        {{{1, 1, 1}, {0, 0, 0}, 100}, {{0, 0, 50}, {NAN, 0, 1}}, {0, 0, 1}},   // NaN normal
        {{{1e30f, 1, 1}, {0, 0, 0}, 1}, {{0, 0, 5e3}, {0, 0, 1}}, {0, 0, 1}},  // -inf atten
        {{{1, 1, 1}, {0, 0, 0}, 100}, {{0, 0, 50}, {0, 0, -1}}, {0, 0, 1}},    // facing < 0
    };
    for (const Case& c : cases) {
        ScreenVertex s{};
        lightVertex(c.eye, &mat, &c.vertex, &s, &c.light, 1, 0);
        for (float ch : {s.R, s.G, s.B}) {
            EXPECT_FALSE(std::isnan(ch));
            EXPECT_GE(ch, 0.0f);
            EXPECT_LE(ch, 1.0f);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The renderer on hand-built meshes

// One mesh with its arrays in vectors; the object points into them.
struct TestMesh {
    std::vector<MeshVertex> verts, xverts;
    std::vector<ScreenVertex> screen;
    std::vector<MeshFace> faces;
    std::vector<LitMark> marks;
    std::vector<Material> materials;
    Mesh mesh{};
    SceneObject object{};
    Light light{{1, 1, 1}, {0, 0, 0}, 1000};
    World world{};

    void finish() {
        xverts.resize(verts.size());
        screen.assign(verts.size(), ScreenVertex{-7, -7, -7, -7, -7, -7});
        marks.resize(verts.size());
        mesh = Mesh{int32_t(faces.size()), int32_t(verts.size()), verts.data(), xverts.data(),
                    screen.data(),         faces.data(),          marks.data()};
        object.NumMesh = 1;
        object.NumMat = int32_t(materials.size());
        object.Meshes = &mesh;
        object.Materials = materials.data();
        matIdentity(&object.RotMatrix);
        matIdentity(&object.PosMatrix);
        world.NumObj = 1;
        world.NumLight = 1;
        world.Objects = &object;
        world.Lights = &light;
        world.Eye = Vec3{0, 0, 1};
    }
};

MeshFace face(int a, int b, int c, int mat, Vec3 normal = {0, 0, -1}) {
    return MeshFace{a, b, c, 1, mat, normal};
}

TEST(Render, CullingThresholdAndSkippedFaces) {
    resetDepthBias();
    TestMesh t;
    t.verts = {{{0, 0, 5}, {0, 0, -1}},      {{0, 10, 5}, {0, 0, -1}},
               {{10, 0, 5}, {0, 0, -1}},     {{0, 0, 4.99f}, {0, 0, -1}},
               {{0, 10, 4.99f}, {0, 0, -1}}, {{10, 0, 4.99f}, {0, 0, -1}},
               {{0, 0, -1}, {0, 0, -1}},     {{1, 1, 5}, {}}};
    t.faces = {face(0, 1, 2, 0, {0, 0, 1}),  // eye-dot exactly -4: dropped
               face(3, 4, 5, 0, {0, 0, 1}),  // eye-dot -3.99: drawn
               face(6, 1, 2, 0),             // a corner behind the eye: skipped
               face(0, 1, 9, 0),             // a corner outside Verts: skipped
               face(0, 1, 2, 3)};            // a material outside Materials: skipped
    t.materials = {exampleMaterial()};
    t.finish();
    Buffers b;
    renderWorld(b.target.data(), b.depth.data(), &t.world);
    const int32_t drawn[] = {0, 1, 0, 0, 0};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(t.faces[k].Drawn, drawn[k]) << k;
    // Vertices on no kept face keep what was there.
    EXPECT_EQ(t.screen[0].X, -7);
    EXPECT_EQ(t.screen[6].X, -7);
    EXPECT_EQ(t.screen[7].R, -7.0f);
    EXPECT_EQ(t.screen[3].X, 256);
    EXPECT_EQ(currentDepthBias(), 1.0f);
    resetDepthBias();
}

TEST(Render, SharedVertexTakesHighestKeptFaceMaterial) {
    resetDepthBias();
    TestMesh t;
    t.verts = {{{0, 0, 100}, {0, 0, -1}},
               {{0, 20, 100}, {0, 0, -1}},
               {{20, 0, 100}, {0, 0, -1}},
               {{-20, 0, 100}, {0, 0, -1}}};
    t.faces = {face(0, 1, 2, 0), face(0, 3, 1, 1), face(3, 2, 1, -1)};
    t.faces[2].Normal = Vec3{0, 0, 1};  // turned away: dropped, never lights anything
    t.materials = {exampleMaterial(), exampleMaterial()};
    t.materials[1].DifColor[2] = 1.0f;
    t.light.LightColor[2] = 0.0f;  // blue comes only from the ambient term: 0.1 x DifColor
    t.finish();
    Buffers b;
    renderWorld(b.target.data(), b.depth.data(), &t.world);
    EXPECT_EQ(t.faces[2].Drawn, 0);
    for (int v : {0, 1, 3})
        EXPECT_EQ(t.marks[v].MatId, 1) << v;
    EXPECT_EQ(t.marks[2].MatId, 0);
    EXPECT_GT(t.screen[0].B, 0.0f);  // lit with material 1 (blue diffuse), also in face 0
    EXPECT_EQ(t.screen[2].B, 0.0f);

    // With no lights the materials go black, faces without a material stay blue.
    t.world.NumLight = 0;
    t.faces[0].MatId = -1;
    t.faces[1].MatId = 0;
    renderWorld(b.target.data(), b.depth.data(), &t.world);
    EXPECT_EQ(t.screen[2].B, 1.0f);  // first met by face 0, which has no material
    EXPECT_EQ(t.screen[0].B, 0.0f);
    resetDepthBias();
}

TEST(Render, DepthBiasWrapsWithOneClear) {
    resetDepthBias();
    std::vector<float> depth(kDepthValues, 0.5f);
    for (int i = 0; i < 65536; ++i)
        advanceDepthBias(depth.data());
    EXPECT_EQ(currentDepthBias(), 65536.0f);
    EXPECT_EQ(depth[kDepthValues - 1], 0.5f);
    advanceDepthBias(depth.data());
    EXPECT_EQ(currentDepthBias(), 0.0f);
    for (float d : depth)
        ASSERT_EQ(d, 0.0f);
}

}  // namespace

// The egg generator shared with the benchmark lives here too, so the test sees what it times.
#include "tests/engine3d_egg.h"

namespace {

TEST(Render, EggCoversAFilledDisc) {
    resetDepthBias();
    EggMesh egg;
    makeEgg(egg, 24, 42);
    World* world = createWorld(1, 1);
    world->Objects[0] = egg.object;
    world->Lights[0] = Light{{1, 1, 1}, {0, 80, 0}, 400};
    SceneObject& obj = world->Objects[0];
    matIdentity(&obj.PosMatrix);
    matTranslate(&obj.PosMatrix, 0, -30, 180);
    matIdentity(&obj.RotMatrix);
    matRotate(&obj.RotMatrix, 0.3f, 0.2f, 1.0f);
    Buffers b;
    renderWorld(b.target.data(), b.depth.data(), world);
    // The outline is an ellipse of radius ~40 * 400 / 180 = 89 around (256, 127); every pixel
    // well inside must be drawn (no holes between triangles), nothing well outside.
    int inside = 0, holes = 0, stray = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 512; ++x) {
            double dx = (x - 256) / 89.0, dy = (y - 127) / 89.0;
            double rr = dx * dx + dy * dy;
            bool drawn = b.target[y * 512 + x] != 0;
            if (rr < 0.6) inside++, holes += !drawn;
            if (rr > 1.6 * 1.6) stray += drawn;
        }
    }
    EXPECT_GT(inside, 10000);
    EXPECT_EQ(holes, 0);
    EXPECT_EQ(stray, 0);
    world->Objects[0] = SceneObject{};  // the arrays belong to egg
    testing::internal::CaptureStdout();
    FreeWorld(world);
    testing::internal::GetCapturedStdout();
    delete world;
    resetDepthBias();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Scene and light files

namespace {

const char kMinimalScene[] =
    "Number of geom objects:      1\n"
    "NodeID:       0\n"
    "Position:     0.0  0.0  -5.0\n"
    "Rotation:     0.0  0.0  0.0  1.0\n"
    "faces 3\n"
    "Vertices:\n"
    "0.0 1.0 0.0\n"
    "-1.0 -1.0 0.0\n"
    "1.0 -1.0 0.0\n"
    "data: 1\n"
    "Faces (V0 V1 V2 EdgeVisCode)\n"
    "0 1 2                      0\n"
    "Number of materials:         1\n"
    "Material: 0\n"
    "Ambient Coeff:           1\n"
    "Diffuse Coeff:           0.7\n"
    "Specular Coeff:          0.3\n"
    "Ambient Color:           0.1  0.1  0.1\n"
    "Diffuse Color:           0.8  0.2  0.2\n"
    "Specular Color:          1.0  1.0  1.0\n"
    "Shininess:               20\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

void expectIdentity(const Matrix4& m) {
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
}

void freeObject(SceneObject* object) {
    if (!object) return;
    releaseSceneObject(object);
    delete object;
}

TEST(SceneFile, MinimalFileFieldsAndConsole) {
    std::string path = writeFile("minimal.txt", kMinimalScene);
    testing::internal::CaptureStdout();
    SceneObject* o = loadScene(path.c_str());
    std::string console = testing::internal::GetCapturedStdout();
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(console, "<" + path + "> Contains <1> Mesh(es)\n" +
                           "rot: x : 0.000000   y : 0.000000  z : 0.000000  w : 1.000000\n"
                           "done loading topology and geology\n"
                           "\n\nStatus:\nTotalVertices : 3\nTotalFaces : 1\n\n\n"
                           "AmbCoef = 1.000000\n"
                           "DifCoef = 0.700000\n"
                           "SpeCoef = 0.300000\n"
                           "AmbColor r = 0.100000  g = 0.100000  b = 0.100000\n"
                           "DifColor r = 0.800000  g = 0.200000  b = 0.200000\n"
                           "SpeColor r = 1.000000  g = 1.000000  b = 1.000000\n"
                           "Computing normals\n"
                           "\nLoading of " +
                           path + " is complete...\n");
    ASSERT_EQ(o->NumMesh, 1);
    const Mesh& m = o->Meshes[0];
    ASSERT_EQ(m.NumVerts, 3);
    ASSERT_EQ(m.NumFaces, 1);
    const float pos[3][3] = {{0, 1, -5}, {-1, -1, -5}, {1, -1, -5}};
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(m.Verts[v].Pos.x, pos[v][0]);
        EXPECT_EQ(m.Verts[v].Pos.y, pos[v][1]);
        EXPECT_EQ(m.Verts[v].Pos.z, pos[v][2]);
        EXPECT_EQ(m.Verts[v].Normal.z, 1.0f);
        EXPECT_EQ(m.Verts[v].Normal.x, 0.0f);
    }
    const MeshFace& f = m.Faces[0];
    EXPECT_EQ(f.V0, 0);
    EXPECT_EQ(f.V1, 1);
    EXPECT_EQ(f.V2, 2);
    EXPECT_EQ(f.Drawn, 1);
    EXPECT_EQ(f.MatId, 0);
    EXPECT_EQ(f.Normal.z, -1.0f);
    ASSERT_EQ(o->NumMat, 1);
    const Material& mat = o->Materials[0];
    EXPECT_EQ(mat.AmbCoef, 1.0f);
    EXPECT_EQ(mat.DifCoef, 0.7f);
    EXPECT_EQ(mat.SpeCoef, 0.3f);
    EXPECT_EQ(mat.AmbColor[1], 0.1f);
    EXPECT_EQ(mat.DifColor[0], 0.8f);
    EXPECT_EQ(mat.SpeColor[2], 1.0f);
    EXPECT_EQ(mat.Shininess, 50.0f);
    expectIdentity(o->RotMatrix);
    expectIdentity(o->PosMatrix);
    expectIdentity(o->ObjMatrix);

    // CR LF line ends load identically.
    std::string crlf = writeFile("minimal_crlf.txt", withCrLf(kMinimalScene));
    testing::internal::CaptureStdout();
    SceneObject* c = loadScene(crlf.c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::memcmp(c->Meshes[0].Verts, m.Verts, 3 * sizeof(MeshVertex)), 0);
    EXPECT_EQ(std::memcmp(c->Meshes[0].Faces, m.Faces, sizeof(MeshFace)), 0);
    EXPECT_EQ(std::memcmp(c->Materials, o->Materials, sizeof(Material)), 0);
    freeObject(c);
    freeObject(o);
}

SceneObject* loadQuietly(const std::string& text, std::string* errors = nullptr) {
    Text t = makeText(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SceneObject* o = loadSceneFromText(t, "scene.txt");
    testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    if (errors) *errors = err;
    releaseText(t);
    return o;
}

TEST(SceneFile, PlacementNormalsAndSecondMesh) {
    // Ambient coefficient 0.5 reads as the integer 0.
    SceneObject* o =
        loadQuietly(replaced(kMinimalScene, "Coeff:           1", "Coeff:           0.5"));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->Materials[0].AmbCoef, 0.0f);
    freeObject(o);

    // A quarter turn about z, then the translation (1, 2, 3): (0, 1, 0) -> (1 + 1, 2 + 0, 3).
    std::string turned = replaced(kMinimalScene, "0.0  0.0  -5.0", "1.0  2.0  3.0");
    turned = replaced(turned, "0.0  0.0  0.0  1.0", "0.0  0.0  0.70710677  0.70710677");
    o = loadQuietly(turned);
    ASSERT_NE(o, nullptr);
    EXPECT_NEAR(o->Meshes[0].Verts[0].Pos.x, 2.0f, 1e-6);
    EXPECT_NEAR(o->Meshes[0].Verts[0].Pos.y, 2.0f, 1e-6);
    EXPECT_EQ(o->Meshes[0].Verts[0].Pos.z, 3.0f);
    freeObject(o);

    // Two meshes; the second shares a vertex between a large and a small face, and has a
    // vertex on no face and a zero-area face.
    std::string second =
        "NodeID:       1\n"
        "Position:     0.0  0.0  0.0\n"
        "Rotation:     0.0  0.0  0.0  1.0\n"
        "faces 6\n"
        "Vertices:\n"
        "0 0 0\n10 0 0\n0 10 0\n0 0 -1\n9 9 9\n0 0 0\n"
        "data: 3\n"
        "Faces (V0 V1 V2 EdgeVisCode)\n"
        "0 1 2                      0\n"
        "0 2 3                      -1\n"
        "0 5 5                      -1\n";
    std::string two = replaced(kMinimalScene, "objects:      1", "objects:      2");
    two = replaced(two, "Number of materials:", second + "Number of materials:");
    o = loadQuietly(two);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->NumMesh, 2);
    const Mesh& m = o->Meshes[1];
    ASSERT_EQ(m.NumVerts, 6);
    // Vertex 0: (0, 0, 100) from the large face plus (-10, 0, 0) from the small one.
    float len = float(std::sqrt(100.0 * 100.0 + 10.0 * 10.0));
    EXPECT_EQ(m.Verts[0].Normal.x, float(-10.0 / len));
    EXPECT_EQ(m.Verts[0].Normal.z, float(100.0 / len));
    EXPECT_EQ(m.Faces[1].MatId, -1);
    for (float c : {m.Verts[4].Normal.x, m.Verts[4].Normal.y, m.Verts[4].Normal.z,
                    m.Faces[2].Normal.x, m.Faces[2].Normal.y, m.Faces[2].Normal.z}) {
        EXPECT_EQ(c, 0.0f);  // no face, zero area: (0, 0, 0), not NaN
    }
    freeObject(o);
}

// Inside the text, an empty value is the format's empty token: it reads as 0, and the next value
// on its line is read at the offset from stop -1, near the start of the text ("umber" at 1).
// Only a value past the end of the text refuses the file.
TEST(SceneFile, EmptyValuesInsideTheTextReadAsZero) {
    const std::string good = kMinimalScene;
    std::string errors;
    SceneObject* o = loadQuietly(good + "\n", &errors);
    ASSERT_NE(o, nullptr) << errors;
    freeObject(o);

    o = loadQuietly(replaced(good, "Shininess:               20", "Shininess:               "),
                    &errors);
    ASSERT_NE(o, nullptr) << errors;
    EXPECT_EQ(o->Materials[0].Shininess, 50.0f);
    freeObject(o);

    o = loadQuietly(replaced(good, "0.8  0.2  0.2", "0.8   0.2  0.2"), &errors);
    ASSERT_NE(o, nullptr) << errors;
    EXPECT_EQ(o->Materials[0].DifColor[0], 0.8f);
    EXPECT_EQ(o->Materials[0].DifColor[1], 0.0f);
    EXPECT_EQ(o->Materials[0].DifColor[2], 0.0f);
    EXPECT_EQ(errors, "");
    freeObject(o);

    // The two coefficients after an empty one are read from stop -1 + 26: a space of the first
    // line, so 0 as well.
    o = loadQuietly(replaced(good, "Ambient Coeff:           1", "Ambient Coeff:           "),
                    &errors);
    ASSERT_NE(o, nullptr) << errors;
    EXPECT_EQ(o->Materials[0].AmbCoef, 0.0f);
    EXPECT_EQ(o->Materials[0].DifCoef, 0.0f);
    EXPECT_EQ(o->Materials[0].SpeCoef, 0.0f);
    freeObject(o);

    // An empty material index (the line ends early) reads as material 0.
    o = loadQuietly(replaced(good, "0 1 2                      0\n", "0 1 2\n"), &errors);
    ASSERT_NE(o, nullptr) << errors;
    EXPECT_EQ(o->Meshes[0].Faces[0].MatId, 0);
    freeObject(o);

    // A value whose place lies beyond the end mark is still refused.
    o = loadQuietly(good.substr(0, good.find("20") - 1), &errors);
    EXPECT_EQ(o, nullptr);
    EXPECT_NE(errors.find("shininess lies past the end"), std::string::npos) << errors;
    freeObject(o);
}

TEST(SceneFile, DamagedFilesAreRefused) {
    const std::string good = kMinimalScene;
    struct Case {
        std::string text, says;
    } cases[] = {
        {replaced(good, "Number of geom objects:", "Number of geom object:"), "Number of geom"},
        {replaced(good, "objects:      1", "objects:      -3"), "mesh count -3"},
        {replaced(good, "objects:      1", "objects:      99999999999"), "mesh count"},
        {replaced(good, "faces 3", "faces -1"), "vertex count -1"},
        {replaced(good, "faces 3", "faces 2000000"), "vertex count"},
        {replaced(good, "data: 1", "data: 40000"), "face count"},
        {replaced(good, "0 1 2    ", "0 1 7    "), "vertex 7"},
        {replaced(good, "0 1 2 ", "0 -2 2 "), "vertex -2"},
        {replaced(good, "                      0\n", "                      5\n"), "material 5"},
        {replaced(good, "                      0\n", "                      -2\n"), "material -2"},
        {replaced(good, "Shininess:", "Shiny:"), "Shininess"},
        {good.substr(0, good.find("1.0 -1.0 0.0")), "vertex 1 of 3"},
        {"Number of geom objects:", "past the end"},
        {replaced(good, "Material: 0", "Materia1: 0"), "Material: "},
        {"Number of geom objects:      2\n\nNodeID:" + std::string(40, ' '), "mesh 0"},
    };
    for (const Case& c : cases) {
        std::string errors;
        SceneObject* o = loadQuietly(c.text, &errors);
        EXPECT_EQ(o, nullptr) << c.says;
        EXPECT_NE(errors.find("scene.txt"), std::string::npos) << errors;
        EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
        freeObject(o);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(loadScene("no/such/scene.txt"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable To load: no/such/scene.txt\n");
}

const char kLightExample[] = "Position: 0.0 10.0 -2.0\nColor: 255 200 100\nRadius: 50\n";

TEST(LightFile, ExampleFieldsAndConsole) {
    std::string path = writeFile("light.txt", kLightExample);
    testing::internal::CaptureStdout();
    Light* l = loadLight(path.c_str());
    std::string console = testing::internal::GetCapturedStdout();
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(console,
              "LightPos:: x : 0.000000 y : 10.000000 z : -2.000000\n"
              "LightColor:: r : 1.000000 g : 0.784314 b : 0.392157\n"
              "LightZero = 50\n");
    EXPECT_EQ(l->LightPos.y, 10.0f);
    EXPECT_EQ(l->LightPos.z, -2.0f);
    EXPECT_EQ(l->LightColor[0], 1.0f);
    EXPECT_EQ(l->LightColor[1], float(200 / 255.0));
    EXPECT_EQ(l->Radius, 50);
    delete l;
}

TEST(LightFile, ColourConversionAndDamage) {
    auto load = [](const std::string& text, std::string* errors = nullptr) {
        Text t = makeText(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Light* l = loadLightFromText(t, "light.txt");
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        if (errors) *errors = err;
        releaseText(t);
        return l;
    };
    Light* l = load("Position: 1 2 3\nColor: 510 -1 127.9\nRadius: 5\n");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->LightColor[0], 2.0f);
    EXPECT_EQ(l->LightColor[1], 16843009.0f);
    EXPECT_EQ(l->LightColor[2], float(127 / 255.0));
    delete l;
    // Any earlier word ending in "Color:" is taken for the label.
    l = load("BackColor: 0 0 0\nPosition: 1 2 3\nColor: 255 255 255\nRadius: 5\n");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->LightColor[0], 0.0f);
    delete l;
    for (std::string bad :
         {"Position: 1 2 3\nColor: 1 2 3\n", "Position: 1 2 3\nColor: 1 2 3\nRadius:", ""}) {
        std::string errors;
        EXPECT_EQ(load(bad, &errors), nullptr) << bad;
        EXPECT_NE(errors.find("loadLight: light.txt: "), std::string::npos) << errors;
    }
}

TEST(World, CreateAndFree) {
    World* w = createWorld(1, 1);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->NumObj, 1);
    EXPECT_EQ(w->NumLight, 1);
    expectIdentity(w->WorldMatA);
    expectIdentity(w->WorldMatB);
    expectIdentity(w->WorldMatC);
    EXPECT_EQ(w->Eye.z, 1.0f);
    // An empty slot renders nothing.
    Buffers b;
    resetDepthBias();
    renderWorld(b.target.data(), b.depth.data(), w);
    resetDepthBias();
    EXPECT_EQ(b.target, std::vector<Pixel>(kScreenPixels, 0));

    SceneObject* o = loadQuietly(kMinimalScene);
    ASSERT_NE(o, nullptr);
    w->Objects[0] = *o;
    delete o;
    w->Lights[0] = Light{{1, 1, 1}, {0, 0, 0}, 9};
    testing::internal::CaptureStdout();
    FreeWorld(w);
    FreeWorld(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "FreeWorld::\nNumObj = 1\nNumLight = 1\n");
    EXPECT_EQ(w->NumObj, 0);
    EXPECT_EQ(w->NumLight, 0);
    EXPECT_EQ(w->Eye.z, 0.0f);
    delete w;
    EXPECT_EQ(createWorld(-1, 1), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Wireframe and points

// The line walk as written, for comparison over random ends.
void refLine(Pixel* t, ScreenVertex p, ScreenVertex q, Pixel colour) {
    int64_t dx = int64_t(q.X) - p.X, dy = int64_t(q.Y) - p.Y;
    auto cx = [](int64_t v) { return int(std::min<int64_t>(510, std::max<int64_t>(0, v))); };
    auto cy = [](int64_t v) { return int(v >= 254 ? 254 : (v <= 0 ? 1 : v)); };
    int x1 = cx(p.X), y1 = cy(p.Y), x2 = cx(q.X), y2 = cy(q.Y);
    auto set = [&](int x, int y) {
        if (x >= 0 && x < 512 && y >= 0 && y < 256) t[y * 512 + x] = colour;
    };
    if (std::llabs(dx) > std::llabs(dy)) {
        int slope = int(dy * 256 / dx);
        if (x2 < x1) std::swap(x1, x2), std::swap(y1, y2);
        for (int x = x1, f = y1 * 256; x < x2; ++x, f += slope)
            set(x, f >> 8);
    } else {
        int slope = dx ? int(dx * 256 / dy) : 0;
        if (y2 < y1) std::swap(x1, x2), std::swap(y1, y2);
        for (int y = y1, g = x1 * 256; y < y2; ++y, g += slope)
            set(g >> 8, y);
    }
}

TEST(Wireframe, LineExamples) {
    auto rowsOf = [](ScreenVertex p, ScreenVertex q) {
        Buffers b;
        drawLine(b.target.data(), p, q, 0xFFFFFF);
        std::vector<std::pair<int, int>> pts;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 512; ++x)
                if (b.target[y * 512 + x]) pts.push_back({x, y});
        return pts;
    };
    auto a = rowsOf(sv(10, 10), sv(20, 15));
    std::vector<std::pair<int, int>> want;
    for (int i = 0; i < 10; ++i)
        want.push_back({10 + i, 10 + i / 2});
    std::sort(a.begin(), a.end());
    EXPECT_EQ(a, want);
    auto back = rowsOf(sv(20, 15), sv(10, 10));
    std::sort(back.begin(), back.end());
    EXPECT_EQ(back, want);
    auto vertical = rowsOf(sv(5, 3), sv(5, 8));
    EXPECT_EQ(vertical.size(), 5u);
    EXPECT_EQ(vertical.front(), std::make_pair(5, 3));
    EXPECT_EQ(vertical.back(), std::make_pair(5, 7));
    auto clipped = rowsOf(sv(-100, 50), sv(100, 60));
    std::sort(clipped.begin(), clipped.end());
    EXPECT_EQ(clipped.front(), std::make_pair(0, 50));
    EXPECT_EQ(clipped.back(), std::make_pair(99, 54));
    auto edges = rowsOf(sv(511, 0), sv(511, 255));  // clamped to column 510, rows 1..253
    EXPECT_EQ(edges.front(), std::make_pair(510, 1));
    EXPECT_EQ(edges.back(), std::make_pair(510, 253));

    Buffers b, ref;
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> near(-300, 800), far(-(1 << 30), 1 << 30);
    for (int i = 0; i < 2000; ++i) {
        auto pick = [&] { return rng() % 8 ? near(rng) : far(rng); };
        ScreenVertex p = sv(pick(), pick()), q = sv(pick(), pick());
        drawLine(b.target.data(), p, q, Pixel(i));
        refLine(ref.target.data(), p, q, Pixel(i));
    }
    EXPECT_EQ(b.target, ref.target);

    Buffers pts;
    plotPoint(pts.target.data(), sv(511, 3), 7);
    plotPoint(pts.target.data(), sv(512, 3), 7);
    plotPoint(pts.target.data(), sv(3, 256), 7);
    plotPoint(pts.target.data(), sv(-1, 3), 7);
    EXPECT_EQ(rowColumns(pts, 3), std::vector<int>{511});
    EXPECT_TRUE(rowColumns(pts, 256).empty());
}

TEST(Wireframe, ObjectRenderersProjectEveryVertex) {
    EggMesh egg;
    makeEgg(egg, 8, 12);
    matTranslate(&egg.object.PosMatrix, 30, 0, 60);  // near enough that some leave the picture
    egg.verts[0].Pos.z = -70;                        // and one vertex behind the eye
    for (auto& s : egg.screen)
        s = ScreenVertex{0, 0, 0.5f, 0.25f, 0.125f, 0};
    Buffers b;
    renderObjectWireframe(b.target.data(), &egg.object, 0x00ABCDEF);
    for (size_t i = 0; i < egg.verts.size(); ++i) {
        ScreenVertex want{0, 0, 0.5f, 0.25f, 0.125f, 0};
        projectVertex(400, &want, egg.xverts[i]);
        EXPECT_EQ(std::memcmp(&egg.screen[i], &want, sizeof want), 0) << i;
    }
    EXPECT_GT(std::count(b.target.begin(), b.target.end(), 0x00ABCDEFu), 500);
    Buffers p;
    renderObjectPoints(p.target.data(), &egg.object, 0x123456);
    int inPicture = 0;
    for (const auto& s : egg.screen)
        inPicture += s.X >= 0 && s.X < 512 && s.Y >= 0 && s.Y < 256;
    EXPECT_LE(std::count(p.target.begin(), p.target.end(), 0x123456u), inPicture);
    EXPECT_GT(std::count(p.target.begin(), p.target.end(), 0x123456u), 10);
}

}  // namespace
