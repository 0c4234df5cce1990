// The mesh renderer: transform, back-face culling, projection, vertex lighting, and the
// per-render depth bias that spares the depth buffer a clear every frame.
#include <cmath>

#include "engine3d/engine3d.h"
#include "engine3d/exact_float.h"
#include "engine3d/products.h"

namespace {

constexpr int32_t kFocal = 400;
constexpr int32_t kCentreColumn = 256;
constexpr int32_t kCentreRow = 194;
constexpr float kBackFaceThreshold = -4.0f;  // kept only when the eye-dot is greater
constexpr float kDepthBiasLimit = 65536.0f;
// Projections are held within this distance of the centre: far enough off the target that the
// rasterizer refuses them, near enough that adding the centre cannot overflow.
constexpr double kFarOff = 1 << 30;

// Added to every depth a render stores. Each render's values lie above everything earlier
// renders left (reciprocal depths stay below 1 for z > 1), so stale depths never hide new
// pixels; the buffer is cleared only when the bias wraps.
float depthBias = 0.0f;

int32_t projectAxis(double v, int32_t centre) {
    // NaN and values beyond the hold land far off the target instead of in an undefined cast.
    if (!(v > -kFarOff)) v = std::isnan(v) ? kFarOff : -kFarOff;
    if (v > kFarOff) v = kFarOff;
    return static_cast<int32_t>(v) + centre;
}

double lengthOf(const float v[3]) {
    return std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
}

// v / length with every component stored as a float; a zero-length vector has no direction and
// stays (0, 0, 0) instead of becoming NaN.
void divideByLength(const float v[3], double length, float out[3]) {
    for (int i = 0; i < 3; ++i)
        out[i] = length > 0.0 ? float(double(v[i]) / length) : 0.0f;
}

float clampChannel(float c) {
    if (c > 1.0f) c = 1.0f;
    if (c < 0.0f || std::isnan(c)) c = 0.0f;
    return c;
}

bool validFace(const MeshFace& f, int32_t numVerts, int32_t numMat) {
    return f.V0 >= 0 && f.V0 < numVerts && f.V1 >= 0 && f.V1 < numVerts && f.V2 >= 0 &&
           f.V2 < numVerts && f.MatId >= -1 && f.MatId < numMat;
}

void renderMesh(Pixel* target, float* depth, const World& world, const SceneObject& object,
                Mesh& mesh) {
    const Matrix4* m = &object.ObjMatrix;
    for (int32_t i = 0; i < mesh.NumVerts; ++i)
        mesh.LitMarks[i] = LitMark{0, 0};
    transformMeshVertices(&mesh, m);
    const Vec3 eye = world.Eye;
    for (int32_t k = mesh.NumFaces - 1; k >= 0; --k) {
        MeshFace& face = mesh.Faces[k];
        face.Drawn = 0;
        if (!validFace(face, mesh.NumVerts, object.NumMat)) continue;
        const Vec3& p0 = mesh.XVerts[face.V0].Pos;
        float ex = float(double(eye.x) - p0.x);
        float ey = float(double(eye.y) - p0.y);
        float ez = float(double(eye.z) - p0.z);
        Vec3 n = products::rotateVector(m, face.Normal.x, face.Normal.y, face.Normal.z);
        float eyeDot = products::dot(ex, ey, ez, n.x, n.y, n.z);
        if (!(eyeDot > kBackFaceThreshold)) continue;
        const int32_t corners[3] = {face.V0, face.V1, face.V2};
        // Without near-plane clipping a vertex at or behind the eye plane would be divided by
        // zero or mirrored through the centre; its face is left out.
        bool inFront = true;
        for (int32_t v : corners)
            inFront = inFront && mesh.XVerts[v].Pos.z > 0.0f;
        if (!inFront) continue;
        const Material* material = face.MatId >= 0 ? &object.Materials[face.MatId] : nullptr;
        for (int32_t v : corners) {
            if (mesh.LitMarks[v].Lit != 0) continue;
            projectVertex(kFocal, &mesh.ScreenVerts[v], mesh.XVerts[v]);
            lightVertex(eye, material, &mesh.XVerts[v], &mesh.ScreenVerts[v], world.Lights,
                        world.NumLight, face.MatId);
            mesh.LitMarks[v] = LitMark{1, face.MatId};
        }
        drawGouraudTriangle(target, depth, mesh.ScreenVerts[face.V0], mesh.ScreenVerts[face.V1],
                            mesh.ScreenVerts[face.V2]);
        face.Drawn = 1;
    }
}

}  // namespace

void transformMeshVertices(Mesh* mesh, const Matrix4* m) {
    for (int32_t i = mesh->NumVerts - 1; i >= 0; --i) {
        const MeshVertex& v = mesh->Verts[i];
        float out[6];
        products::transformPointAndNormal(m, out, v.Pos.x, v.Pos.y, v.Pos.z, v.Normal.x, v.Normal.y,
                                          v.Normal.z);
        mesh->XVerts[i] = MeshVertex{{out[0], out[1], out[2]}, {out[3], out[4], out[5]}};
    }
}

void renderWorld(Pixel* target, float* depth, World* world) {
    for (int32_t o = 0; o < world->NumObj; ++o) {
        SceneObject& object = world->Objects[o];
        matMultiply(&object.PosMatrix, &object.RotMatrix, &object.ObjMatrix);
        for (int32_t i = 0; i < object.NumMesh; ++i) {
            renderMesh(target, depth, *world, object, object.Meshes[i]);
        }
    }
    advanceDepthBias(depth);
}

void projectVertex(int32_t focal, ScreenVertex* screen, const MeshVertex& vertex) {
    // The division comes first and the product second, both in double, then truncation.
    double z = vertex.Pos.z;
    screen->X = projectAxis(std::trunc(double(vertex.Pos.x) / z * focal), kCentreColumn);
    screen->Y = projectAxis(std::trunc(double(vertex.Pos.y) / z * focal), kCentreRow);
    screen->Z = vertex.Pos.z;
}

void lightVertex(const Vec3& eye, const Material* material, const MeshVertex* vertex,
                 ScreenVertex* screen, const Light* lights, int32_t lightCount, int32_t matId) {
    if (matId == -1 || material == nullptr) {
        screen->R = 0.0f;
        screen->G = 0.0f;
        screen->B = 1.0f;
        return;
    }
    const Vec3& p = vertex->Pos;
    const Vec3& n = vertex->Normal;
    float colour[3] = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < lightCount; ++i) {
        const Light& light = lights[i];
        const float lv[3] = {float(double(light.LightPos.x) - p.x),
                             float(double(light.LightPos.y) - p.y),
                             float(double(light.LightPos.z) - p.z)};
        // The light's distance is stored as a float before it divides; the view vector's length
        // is not a stored quantity and divides in double.
        const float dist = float(lengthOf(lv));
        float l[3], v[3];
        divideByLength(lv, dist, l);
        const float vv[3] = {float(double(eye.x) - p.x), float(double(eye.y) - p.y),
                             float(double(eye.z) - p.z)};
        divideByLength(vv, lengthOf(vv), v);
        // 1 - L.N, not L.N: a light along the normal gives 0, one behind it up to 2.
        float diffuse = float(1.0 - (double(l[0]) * n.x + double(l[1]) * n.y + double(l[2]) * n.z));
        float facing = float(double(v[0]) * n.x + double(v[1]) * n.y + double(v[2]) * n.z);
        // Not clamped: beyond the radius the light takes colour away. A radius of 0 makes it
        // -infinity, which the clamp below turns into black (or NaN into 0).
        double radius = static_cast<uint32_t>(light.Radius);
        float atten = float(1.0 - std::pow(double(dist) / radius, 2.0));
        float specular = float(std::pow(double(facing), double(material->Shininess)));
        for (int c = 0; c < 3; ++c) {
            double lit = double(colour[c]) +
                         double(material->AmbColor[c]) * material->AmbCoef * material->DifColor[c] +
                         double(atten) * light.LightColor[c] *
                             (double(material->DifCoef) * material->DifColor[c] * diffuse +
                              double(material->SpeCoef) * material->SpeColor[c] * specular);
            colour[c] = clampChannel(float(lit));
        }
    }
    screen->R = colour[0];
    screen->G = colour[1];
    screen->B = colour[2];
}

void advanceDepthBias(float* depth) {
    depthBias += 1.0f;
    if (depthBias > kDepthBiasLimit) {
        for (int i = 0; i < kDepthValues; ++i)
            depth[i] = 0.0f;
        depthBias = 0.0f;
    }
}

float currentDepthBias() {
    return depthBias;
}

void resetDepthBias() {
    depthBias = 0.0f;
}
