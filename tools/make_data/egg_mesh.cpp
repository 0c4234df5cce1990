// The egg of the 3D scene and its light, written in the show's scene and light text formats.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/make_data/make_data.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Shape: 38 units tall, so that at z = 180 with the focal factor 400 it stands about 84 rows,
// a third of the picture.
constexpr double kEggHeight = 38.0;
constexpr double kEggRadius = 14.5;  // widest half-width before the taper
constexpr double kTaper = 0.12;      // narrow end up (negative y is up on the screen)
constexpr int kBands = 30;           // latitude segments, pole to pole
constexpr int kSegments = 48;        // around the axis

// Material of each latitude segment, top to bottom: a painted Easter egg's bands.
constexpr int kBandMaterial[kBands] = {0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 2, 2, 1, 1, 0,
                                       0, 0, 1, 1, 2, 2, 2, 2, 1, 1, 0, 0, 0, 0, 0};

struct Point {
    double x, y, z;
};

struct Triangle {
    int v0, v1, v2, material;
};

Point ringPoint(int ring, int segment) {
    const double t = kPi * ring / kBands;
    const double phi = 2 * kPi * segment / kSegments;
    const double radius = kEggRadius * std::sin(t) * (1.0 - kTaper * std::cos(t));
    return {radius * std::cos(phi), -std::cos(t) * kEggHeight / 2, radius * std::sin(phi)};
}

// The renderer keeps a face when its normal (P2 - P0) x (P1 - P0) turns towards the eye, so
// every face is wound to make that normal point out of the egg. The egg is convex and holds the
// origin, so "out" is the side away from the origin.
Triangle outward(const std::vector<Point>& points, int a, int b, int c, int material) {
    const Point& p0 = points[a];
    const Point& p1 = points[b];
    const Point& p2 = points[c];
    const Point e2 = {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    const Point e1 = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    const Point n = {e2.y * e1.z - e2.z * e1.y, e2.z * e1.x - e2.x * e1.z,
                     e2.x * e1.y - e2.y * e1.x};
    const Point centre = {(p0.x + p1.x + p2.x) / 3, (p0.y + p1.y + p2.y) / 3,
                          (p0.z + p1.z + p2.z) / 3};
    if (n.x * centre.x + n.y * centre.y + n.z * centre.z < 0) return {a, c, b, material};
    return {a, b, c, material};
}

void append(std::string& text, const char* format, double a, double b, double c) {
    char line[128];
    std::snprintf(line, sizeof line, format, a, b, c);
    text += line;
}

struct EggMaterial {
    double ambient[3];
    double diffuse[3];
    double specular[3];
};

// Colours chosen for the renderer's lighting, where the lit side reaches twice the diffuse
// colour times the coefficient and the far side falls to the ambient term.
constexpr EggMaterial kMaterials[3] = {
    {{0.25, 0.25, 0.25}, {1.0, 0.9, 0.55}, {1.0, 1.0, 0.9}},    // butter yellow
    {{0.25, 0.25, 0.25}, {1.0, 0.22, 0.42}, {1.0, 0.9, 0.9}},   // raspberry
    {{0.25, 0.25, 0.25}, {0.62, 0.38, 1.0}, {0.95, 0.9, 1.0}},  // violet
};
constexpr double kDiffuseCoeff = 0.45;
constexpr double kSpecularCoeff = 0.45;

}  // namespace

std::string makeEggScene() {
    std::vector<Point> points;
    std::vector<Triangle> faces;
    points.push_back(ringPoint(0, 0));
    // Each ring gets one row of vertices, or two where the material changes across it: the
    // renderer lights a shared vertex with a single material, so a shared ring would smear the
    // band edge over a whole segment instead of keeping it crisp.
    std::vector<int> above(kBands + 1), below(kBands + 1);  // first vertex of each row of a ring
    for (int ring = 1; ring < kBands; ++ring) {
        above[ring] = static_cast<int>(points.size());
        for (int s = 0; s < kSegments; ++s)
            points.push_back(ringPoint(ring, s));
        below[ring] = above[ring];
        if (kBandMaterial[ring - 1] != kBandMaterial[ring]) {
            below[ring] = static_cast<int>(points.size());
            for (int s = 0; s < kSegments; ++s)
                points.push_back(ringPoint(ring, s));
        }
    }
    const int bottomPole = static_cast<int>(points.size());
    points.push_back(ringPoint(kBands, 0));
    for (int s = 0; s < kSegments; ++s) {
        const int next = (s + 1) % kSegments;
        faces.push_back(outward(points, 0, above[1] + s, above[1] + next, kBandMaterial[0]));
    }
    for (int band = 1; band < kBands - 1; ++band) {
        const int material = kBandMaterial[band];
        for (int s = 0; s < kSegments; ++s) {
            const int next = (s + 1) % kSegments;
            const int a = below[band] + s, b = below[band] + next;
            const int c = above[band + 1] + s, d = above[band + 1] + next;
            faces.push_back(outward(points, a, c, d, material));
            faces.push_back(outward(points, a, d, b, material));
        }
    }
    for (int s = 0; s < kSegments; ++s) {
        const int next = (s + 1) % kSegments;
        faces.push_back(outward(points, bottomPole, below[kBands - 1] + next, below[kBands - 1] + s,
                                kBandMaterial[kBands - 1]));
    }

    // The labels, their padding and the separators sit at the exact columns the loader reads.
    std::string text = "Number of geom objects:      1\n";
    text += "NodeID:       0\n";
    text += "Position:     0.0  0.0  0.0\n";
    text += "Rotation:     0.0  0.0  0.0  1.0\n";
    text += "faces " + std::to_string(points.size()) + "\n";
    text += "Vertices:\n";
    for (const Point& p : points)
        append(text, "%.4f %.4f %.4f\n", p.x, p.y, p.z);
    text += "data: " + std::to_string(faces.size()) + "\n";
    text += "Faces (V0 V1 V2 EdgeVisCode)\n";
    for (const Triangle& f : faces) {
        // V0 V1 V2 with single spaces, then 22 spaces before the material index.
        text += std::to_string(f.v0) + " " + std::to_string(f.v1) + " " + std::to_string(f.v2) +
                std::string(22, ' ') + std::to_string(f.material) + "\n";
    }
    text += "Number of materials:         3\n";
    for (int m = 0; m < 3; ++m) {
        const EggMaterial& mat = kMaterials[m];
        text += "Material: " + std::to_string(m) + "\n";
        text += "Ambient Coeff:           1\n";
        append(text, "Diffuse Coeff:           %.2f\n", kDiffuseCoeff, 0, 0);
        append(text, "Specular Coeff:          %.2f\n", kSpecularCoeff, 0, 0);
        append(text, "Ambient Color:           %.2f  %.2f  %.2f\n", mat.ambient[0], mat.ambient[1],
               mat.ambient[2]);
        append(text, "Diffuse Color:           %.2f  %.2f  %.2f\n", mat.diffuse[0], mat.diffuse[1],
               mat.diffuse[2]);
        append(text, "Specular Color:          %.2f  %.2f  %.2f\n", mat.specular[0],
               mat.specular[1], mat.specular[2]);
        text += "Shininess:               50\n";
    }
    return text;
}

std::string makeEggLight() {
    // In front of the egg (which sits at z = 180), up and to the left; +y is down the screen.
    return "Position: -70.0 -120.0 40.0\n"
           "Color: 255 248 235\n"
           "Radius: 380\n";
}
