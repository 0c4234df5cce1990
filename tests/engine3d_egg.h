// A procedural egg for the 3D engine's test and benchmark: a UV sphere stretched along y.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "engine3d/engine3d.h"

// One mesh whose arrays live in vectors; object points into them (do not release it, and do
// not copy or move the EggMesh).
struct EggMesh {
    std::vector<MeshVertex> verts, xverts;
    std::vector<ScreenVertex> screen;
    std::vector<MeshFace> faces;
    std::vector<LitMark> marks;
    std::vector<Material> materials;
    Mesh mesh{};
    SceneObject object{};
};

// rings bands of latitude, segments of longitude: 2 * segments * (rings - 1) faces, radius 40,
// 52 tall each way, faces wound so that their normals point out of the egg.
inline void makeEgg(EggMesh& egg, int rings, int segments) {
    const double radius = 40.0, pi = 3.14159265358979323846;
    auto at = [&](int ring, int segment) {
        if (ring == 0) return 0;
        if (ring == rings) return 1 + (rings - 1) * segments;
        return 1 + (ring - 1) * segments + segment % segments;
    };
    egg.verts.push_back(MeshVertex{{0, float(1.3 * radius), 0}, {}});
    for (int i = 1; i < rings; ++i) {
        double theta = pi * i / rings;
        double across = radius * std::sin(theta) * (1.0 + 0.12 * std::cos(theta));
        for (int j = 0; j < segments; ++j) {
            double phi = 2 * pi * j / segments;
            egg.verts.push_back(
                MeshVertex{{float(across * std::cos(phi)), float(1.3 * radius * std::cos(theta)),
                            float(across * std::sin(phi))},
                           {}});
        }
    }
    egg.verts.push_back(MeshVertex{{0, float(-1.3 * radius), 0}, {}});
    auto addFace = [&](int a, int b, int c) {
        // The renderer keeps faces whose (P2 - P0) x (P1 - P0) turns to the eye: outward here.
        const Vec3 &p0 = egg.verts[a].Pos, &p1 = egg.verts[b].Pos, &p2 = egg.verts[c].Pos;
        double ax = p2.x - p0.x, ay = p2.y - p0.y, az = p2.z - p0.z;
        double bx = p1.x - p0.x, by = p1.y - p0.y, bz = p1.z - p0.z;
        double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
        double cx = p0.x + p1.x + p2.x, cy = p0.y + p1.y + p2.y, cz = p0.z + p1.z + p2.z;
        if (nx * cx + ny * cy + nz * cz < 0) std::swap(b, c);
        egg.faces.push_back(MeshFace{a, b, c, 1, 0, {}});
    };
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            if (i > 0) addFace(at(i, j), at(i, j + 1), at(i + 1, j));
            if (i < rings - 1) addFace(at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
        }
    }
    egg.xverts.resize(egg.verts.size());
    egg.screen.resize(egg.verts.size());
    egg.marks.resize(egg.verts.size());
    egg.materials.push_back(
        Material{{0.2f, 0.2f, 0.2f}, {0.9f, 0.7f, 0.3f}, {1, 1, 1}, 1, 0.6f, 0.4f, 50});
    egg.mesh = Mesh{int32_t(egg.faces.size()), int32_t(egg.verts.size()), egg.verts.data(),
                    egg.xverts.data(),         egg.screen.data(),         egg.faces.data(),
                    egg.marks.data()};
    egg.object.NumMesh = 1;
    egg.object.NumMat = 1;
    egg.object.Meshes = &egg.mesh;
    egg.object.Materials = egg.materials.data();
    matIdentity(&egg.object.RotMatrix);
    matIdentity(&egg.object.PosMatrix);
    matIdentity(&egg.object.ObjMatrix);
    computeVertexNormals(&egg.object);
    computeFaceNormals(&egg.object);
}
