// The wireframe and point renderers, with their clamped line drawer and bounded point plot.
#include "engine3d/engine3d.h"
#include "engine3d/exact_float.h"

namespace {

constexpr int32_t kFocal = 400;
constexpr int32_t kRows = 256;  // the 512 x 256 picture
constexpr int32_t kLastLineColumn = 510;
constexpr int32_t kFirstLineRow = 1;
constexpr int32_t kLastLineRow = 254;
constexpr int kSlopeBits = 8;  // line slopes and the running minor coordinate are 24.8

// ObjMatrix, then every vertex of the mesh transformed into XVerts and projected into
// ScreenVerts (R, G, B untouched), last vertex first as the shaded renderer does.
void projectMesh(const SceneObject& object, Mesh& mesh) {
    transformMeshVertices(&mesh, &object.ObjMatrix);
    for (int32_t i = mesh.NumVerts - 1; i >= 0; --i)
        projectVertex(kFocal, &mesh.ScreenVerts[i], mesh.XVerts[i]);
}

void setPixel(Pixel* target, int32_t x, int32_t y, Pixel colour) {
    if (x >= 0 && x < kPitch && y >= 0 && y < kRows) target[y * kPitch + x] = colour;
}

int32_t clampTo(int32_t v, int32_t low, int32_t high) {
    return v < low ? low : (v > high ? high : v);
}

bool validCorners(const MeshFace& f, int32_t numVerts) {
    return f.V0 >= 0 && f.V0 < numVerts && f.V1 >= 0 && f.V1 < numVerts && f.V2 >= 0 &&
           f.V2 < numVerts;
}

}  // namespace

void drawLine(Pixel* target, const ScreenVertex& p, const ScreenVertex& q, Pixel colour) {
    // Differences in 64 bits: projections of vertices near the eye plane reach +-2^30, and the
    // slope, at most one whole step per step, fits 24.8 whatever they are.
    int64_t dx = int64_t{q.X} - p.X;
    int64_t dy = int64_t{q.Y} - p.Y;
    int32_t x1 = clampTo(p.X, 0, kLastLineColumn), y1 = clampTo(p.Y, kFirstLineRow, kLastLineRow);
    int32_t x2 = clampTo(q.X, 0, kLastLineColumn), y2 = clampTo(q.Y, kFirstLineRow, kLastLineRow);
    // The slope comes from the unclamped ends while the walk runs between the clamped ones, so
    // a line leaving the picture keeps its true slope from the clamped start.
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (adx > ady) {
        int32_t slope = static_cast<int32_t>(dy * (1 << kSlopeBits) / dx);
        if (x2 < x1) {
            swapInts(x1, x2);
            swapInts(y1, y2);
        }
        int32_t f = y1 * (1 << kSlopeBits);
        for (int32_t x = x1; x < x2; ++x) {
            setPixel(target, x, f >> kSlopeBits, colour);
            f += slope;
        }
    } else {
        int32_t slope = dx != 0 ? static_cast<int32_t>(dx * (1 << kSlopeBits) / dy) : 0;
        if (y2 < y1) {
            swapInts(x1, x2);
            swapInts(y1, y2);
        }
        int32_t g = x1 * (1 << kSlopeBits);
        for (int32_t y = y1; y < y2; ++y) {
            setPixel(target, g >> kSlopeBits, y, colour);
            g += slope;
        }
    }
}

void plotPoint(Pixel* target, const ScreenVertex& p, Pixel colour) {
    setPixel(target, p.X, p.Y, colour);
}

void renderObjectWireframe(Pixel* target, SceneObject* object, Pixel colour) {
    matMultiply(&object->PosMatrix, &object->RotMatrix, &object->ObjMatrix);
    for (int32_t i = 0; i < object->NumMesh; ++i) {
        Mesh& mesh = object->Meshes[i];
        projectMesh(*object, mesh);
        const ScreenVertex* s = mesh.ScreenVerts;
        for (int32_t k = mesh.NumFaces - 1; k >= 0; --k) {
            const MeshFace& f = mesh.Faces[k];
            if (!validCorners(f, mesh.NumVerts)) continue;
            drawLine(target, s[f.V0], s[f.V1], colour);
            drawLine(target, s[f.V0], s[f.V2], colour);
            drawLine(target, s[f.V1], s[f.V2], colour);
        }
    }
}

void renderObjectPoints(Pixel* target, SceneObject* object, Pixel colour) {
    matMultiply(&object->PosMatrix, &object->RotMatrix, &object->ObjMatrix);
    for (int32_t i = 0; i < object->NumMesh; ++i) {
        Mesh& mesh = object->Meshes[i];
        projectMesh(*object, mesh);
        for (int32_t v = mesh.NumVerts - 1; v >= 0; --v)
            plotPoint(target, mesh.ScreenVerts[v], colour);
    }
}
