// The scene file loader: meshes placed by their position and rotation, faces, materials, and
// the vertex and face normals.
#include <cmath>
#include <cstdio>

#include "engine3d/engine3d.h"
#include "engine3d/exact_float.h"
#include "engine3d/token_values.h"

namespace {

using token_values::readValue;
using token_values::refuse;
using token_values::Source;
using token_values::toFloat;
using token_values::toInt;

// Widths from a label's first character to its value: the label and the spaces that pad it.
constexpr int kObjectCountWidth = 29;    // "Number of geom objects:      "
constexpr int kNodeWidth = 15;           // "\nNodeID:       "
constexpr int kPlacementWidth = 14;      // "Position:     ", "Rotation:     "
constexpr int kVertexCountWidth = 6;     // "faces "
constexpr int kVerticesWidth = 9;        // "Vertices:" (the first value follows one more)
constexpr int kFaceCountWidth = 6;       // "data: "
constexpr int kFaceLinesWidth = 13;      // "EdgeVisCode)\n"
constexpr int kMatIdGap = 22;            // from the stop of V2 to the material index
constexpr int kMaterialCountWidth = 29;  // "Number of materials:         "
constexpr int kMaterialWidth = 9;        // "Material:"
constexpr int kMaterialValueWidth = 25;  // "Ambient Coeff:           " and the like
constexpr int kNextCoeffGap = 26;        // the line end and the next 25-character label
constexpr float kShininess = 50.0f;      // the file's own shininess is read but not used

// Reads a count and refuses a negative one, one beyond limit, or one the text cannot hold
// (every item takes at least one character of it).
bool readCount(const Source& src, int64_t position, int32_t limit, const char* what, int32_t& count,
               int32_t& stop) {
    TokenBuffer token;
    if (!readValue(src, token, position, stop, what)) return false;
    count = toInt(token);
    if (count < 0 || count > limit || count > src.text.length) {
        return refuse(src, "%s %d is out of range (0..%d)", what, count, limit);
    }
    return true;
}

bool findLabel(const Source& src, const char* label, int32_t from, int32_t& at, const char* where) {
    at = findTextFrom(label, src.text, from);
    if (at < 0) return refuse(src, "%s: no \"%s\" label", where, label);
    return true;
}

// Reads count floats, the first at first, each next one gap characters after the last stop.
bool readFloats(const Source& src, int64_t first, int gap, float* out, int count, const char* what,
                int32_t& stop) {
    TokenBuffer token;
    int64_t position = first;
    for (int i = 0; i < count; ++i) {
        if (!readValue(src, token, position, stop, what)) return false;
        out[i] = toFloat(token);
        position = int64_t{stop} + gap;
    }
    return true;
}

bool readMesh(const Source& src, Mesh& mesh, int32_t index, int32_t& cursor, int64_t& totalVerts,
              int64_t& totalFaces) {
    char where[32];
    std::snprintf(where, sizeof where, "mesh %d", index);
    int32_t at = -1, stop = -1;
    if (!findLabel(src, "\nNodeID:", cursor, at, where)) return false;
    cursor = at + kNodeWidth;

    Matrix4 translation, rotation, placement;
    matIdentity(&translation);
    matIdentity(&rotation);
    matIdentity(&placement);
    float position[3], quaternion[4];
    if (!findLabel(src, "Position:", cursor, at, where) ||
        !readFloats(src, int64_t{at} + kPlacementWidth, 2, position, 3, "position", stop)) {
        return false;
    }
    matSetTranslation(&translation, position[0], position[1], position[2]);
    if (!findLabel(src, "Rotation:", cursor, at, where) ||
        !readFloats(src, int64_t{at} + kPlacementWidth, 2, quaternion, 4, "rotation", stop)) {
        return false;
    }
    matFromQuaternion(&rotation, quaternion[0], quaternion[1], quaternion[2], quaternion[3]);
    std::printf("rot: x : %f   y : %f  z : %f  w : %f\n", quaternion[0], quaternion[1],
                quaternion[2], quaternion[3]);

    int32_t count;
    if (!findLabel(src, "faces", cursor, at, where) ||
        !readCount(src, int64_t{at} + kVertexCountWidth, kMaxMeshVerts, "vertex count", count,
                   stop)) {
        return false;
    }
    // Items may not outnumber the characters of the text, in one mesh or in all of them.
    totalVerts += count;
    if (totalVerts > src.text.length) return refuse(src, "%s: too many vertices", where);
    mesh.NumVerts = count;
    mesh.Verts = new MeshVertex[count]();
    mesh.XVerts = new MeshVertex[count]();
    mesh.ScreenVerts = new ScreenVertex[count]();
    mesh.LitMarks = new LitMark[count]();

    // Each vertex is rotated first, then translated.
    matMultiply(&translation, &rotation, &placement);
    if (!findLabel(src, "Vertices:", cursor, at, where)) return false;
    stop = at + kVerticesWidth;
    for (int32_t j = 0; j < count; ++j) {
        float p[3];
        if (!readFloats(src, int64_t{stop} + 1, 1, p, 3, "vertex", stop)) {
            return refuse(src, "%s: vertex %d of %d unreadable", where, j, count);
        }
        matTransformPoint(&placement, &mesh.Verts[j].Pos, p[0], p[1], p[2]);
    }

    if (!findLabel(src, "data:", cursor, at, where) ||
        !readCount(src, int64_t{at} + kFaceCountWidth, kMaxMeshFaces, "face count", count, stop)) {
        return false;
    }
    totalFaces += count;
    if (totalFaces > src.text.length) return refuse(src, "%s: too many faces", where);
    mesh.NumFaces = count;
    mesh.Faces = new MeshFace[count]();
    if (!findLabel(src, "EdgeVisCode)", cursor, at, where)) return false;
    int64_t line = int64_t{at} + kFaceLinesWidth;
    TokenBuffer token;
    for (int32_t k = 0; k < count; ++k) {
        MeshFace& face = mesh.Faces[k];
        int32_t* corners[3] = {&face.V0, &face.V1, &face.V2};
        int64_t position = line;
        for (int32_t* corner : corners) {
            if (!readValue(src, token, position, stop, "face vertex index")) {
                return refuse(src, "%s: face %d unreadable", where, k);
            }
            *corner = toInt(token);
            if (*corner < 0 || *corner >= mesh.NumVerts) {
                return refuse(src, "%s: face %d names vertex %d, outside 0..%d", where, k, *corner,
                              mesh.NumVerts - 1);
            }
            position = int64_t{stop} + 1;
        }
        int32_t v2Stop = stop;
        if (!readValue(src, token, int64_t{v2Stop} + kMatIdGap, stop, "face material index")) {
            return refuse(src, "%s: face %d unreadable", where, k);
        }
        face.MatId = toInt(token);
        face.Drawn = 1;
        // The next face line starts after the line end that follows V2. After an empty V2 (stop
        // -1) there is none, and the format's arithmetic starts the next line at character 0.
        int32_t lineEnd = skipToLineEnd(src.text, v2Stop);
        if (lineEnd < 0 && v2Stop >= 0 && k + 1 < count) {
            return refuse(src, "%s: face %d of %d lies past the end of the text", where, k + 1,
                          count);
        }
        line = int64_t{lineEnd} + 1;
    }
    return true;
}

bool readMaterial(const Source& src, Material& material, int32_t index, int32_t& cursor) {
    char where[32];
    std::snprintf(where, sizeof where, "material %d", index);
    int32_t at = -1, stop = -1;
    TokenBuffer token;
    if (!findLabel(src, "Material: ", cursor, at, where)) return false;
    cursor = at + kMaterialWidth;

    // The ambient coefficient is read as an integer; the other two follow on the next lines
    // at fixed distances, without a search.
    if (!findLabel(src, "Ambient Coeff:", cursor, at, where) ||
        !readValue(src, token, int64_t{at} + kMaterialValueWidth, stop, "ambient coefficient")) {
        return false;
    }
    material.AmbCoef = float(toInt(token));
    std::printf("AmbCoef = %f\n", material.AmbCoef);
    if (!readValue(src, token, int64_t{stop} + kNextCoeffGap, stop, "diffuse coefficient")) {
        return false;
    }
    material.DifCoef = toFloat(token);
    std::printf("DifCoef = %f\n", material.DifCoef);
    if (!readValue(src, token, int64_t{stop} + kNextCoeffGap, stop, "specular coefficient")) {
        return false;
    }
    material.SpeCoef = toFloat(token);
    std::printf("SpeCoef = %f\n", material.SpeCoef);

    struct ColourField {
        const char* label;
        const char* what;
        const char* log;
        float* rgb;
    };
    const ColourField colours[3] = {
        {"Ambient Color:", "ambient colour", "AmbColor r = %f  g = %f  b = %f\n",
         material.AmbColor},
        {"Diffuse Color:", "diffuse colour", "DifColor r = %f  g = %f  b = %f\n",
         material.DifColor},
        {"Specular Color:", "specular colour", "SpeColor r = %f  g = %f  b = %f\n",
         material.SpeColor},
    };
    for (const ColourField& field : colours) {
        if (!findLabel(src, field.label, cursor, at, where) ||
            !readFloats(src, int64_t{at} + kMaterialValueWidth, 2, field.rgb, 3, field.what,
                        stop)) {
            return false;
        }
        std::printf(field.log, field.rgb[0], field.rgb[1], field.rgb[2]);
    }
    if (!findLabel(src, "Shininess:", cursor, at, where) ||
        !readValue(src, token, int64_t{at} + kMaterialValueWidth, stop, "shininess")) {
        return false;
    }
    material.Shininess = kShininess;
    return true;
}

bool readScene(const Source& src, SceneObject& object) {
    int32_t at = -1, stop = -1;
    if (!findLabel(src, "Number of geom objects:", 0, at, "scene")) return false;
    TokenBuffer token;
    if (!readValue(src, token, int64_t{at} + kObjectCountWidth, stop, "mesh count")) {
        return false;
    }
    int32_t numMesh = toInt(token);
    std::printf("<%s> Contains <%d> Mesh(es)\n", src.path, numMesh);
    if (numMesh < 0 || numMesh > kMaxSceneMeshes || numMesh > src.text.length) {
        return refuse(src, "mesh count %d is out of range (0..%d)", numMesh, kMaxSceneMeshes);
    }
    object.NumMesh = numMesh;
    object.Meshes = new Mesh[numMesh]();
    int32_t cursor = 0;
    int64_t totalVerts = 0, totalFaces = 0;
    for (int32_t i = 0; i < numMesh; ++i) {
        if (!readMesh(src, object.Meshes[i], i, cursor, totalVerts, totalFaces)) return false;
    }
    std::printf("done loading topology and geology\n");
    std::printf("\n\nStatus:\nTotalVertices : %d\nTotalFaces : %d\n\n\n",
                static_cast<int32_t>(totalVerts), static_cast<int32_t>(totalFaces));

    int32_t numMat;
    if (!findLabel(src, "Number of materials:", 0, at, "scene") ||
        !readCount(src, int64_t{at} + kMaterialCountWidth, kMaxSceneMaterials, "material count",
                   numMat, stop)) {
        return false;
    }
    object.NumMat = numMat;
    object.Materials = new Material[numMat]();
    cursor = 0;
    for (int32_t i = 0; i < numMat; ++i) {
        if (!readMaterial(src, object.Materials[i], i, cursor)) return false;
    }
    for (int32_t i = 0; i < numMesh; ++i) {
        const Mesh& mesh = object.Meshes[i];
        for (int32_t k = 0; k < mesh.NumFaces; ++k) {
            int32_t id = mesh.Faces[k].MatId;
            if (id < -1 || id >= numMat) {
                return refuse(src, "mesh %d: face %d names material %d, outside -1..%d", i, k, id,
                              numMat - 1);
            }
        }
    }
    return true;
}

bool validCorners(const MeshFace& f, int32_t numVerts) {
    return f.V0 >= 0 && f.V0 < numVerts && f.V1 >= 0 && f.V1 < numVerts && f.V2 >= 0 &&
           f.V2 < numVerts;
}

// (P1 - P0) x (P2 - P0), differences and components stored as floats.
Vec3 cornerCross(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    Vec3 e1{float(double(p1.x) - p0.x), float(double(p1.y) - p0.y), float(double(p1.z) - p0.z)};
    Vec3 e2{float(double(p2.x) - p0.x), float(double(p2.y) - p0.y), float(double(p2.z) - p0.z)};
    return Vec3{float(double(e1.y) * e2.z - double(e1.z) * e2.y),
                float(double(e1.z) * e2.x - double(e1.x) * e2.z),
                float(double(e1.x) * e2.y - double(e1.y) * e2.x)};
}

// v / |v|. A zero-area face or a vertex on no face has no direction: it gets (0, 0, 0) rather
// than the NaN of 0 / 0, and so lights and culls as a surface seen edge-on.
Vec3 unit(const Vec3& v) {
    float length = float(std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z));
    if (!(length > 0.0f) || std::isinf(length)) return Vec3{0.0f, 0.0f, 0.0f};
    return Vec3{float(double(v.x) / length), float(double(v.y) / length),
                float(double(v.z) / length)};
}

}  // namespace

SceneObject* loadSceneFromText(const Text& text, const char* path) {
    Source src{text, "loadScene", path};
    auto* object = new SceneObject();
    if (!text.bytes || !readScene(src, *object)) {
        releaseSceneObject(object);
        delete object;
        return nullptr;
    }
    std::printf("Computing normals\n");
    computeVertexNormals(object);
    computeFaceNormals(object);
    matIdentity(&object->ObjMatrix);
    matIdentity(&object->RotMatrix);
    matIdentity(&object->PosMatrix);
    std::printf("\nLoading of %s is complete...\n", path);
    return object;
}

SceneObject* loadScene(const char* path) {
    Text text = readTextFile(path);
    if (!text.bytes) return nullptr;
    SceneObject* object = loadSceneFromText(text, path);
    releaseText(text);
    return object;
}

void computeVertexNormals(SceneObject* object) {
    for (int32_t i = 0; i < object->NumMesh; ++i) {
        Mesh& mesh = object->Meshes[i];
        // The sums are gathered face by face in index order, which is the order each vertex
        // would meet its faces in, so every float sum rounds exactly the same.
        for (int32_t v = 0; v < mesh.NumVerts; ++v)
            mesh.Verts[v].Normal = Vec3{0, 0, 0};
        for (int32_t k = 0; k < mesh.NumFaces; ++k) {
            const MeshFace& f = mesh.Faces[k];
            if (!validCorners(f, mesh.NumVerts)) continue;
            Vec3 c = cornerCross(mesh.Verts[f.V0].Pos, mesh.Verts[f.V1].Pos, mesh.Verts[f.V2].Pos);
            // A face counts once for a vertex even when it names that vertex twice.
            const int32_t corners[3] = {f.V0, f.V1, f.V2};
            for (int n = 0; n < 3; ++n) {
                if ((n >= 1 && corners[n] == corners[0]) || (n == 2 && corners[2] == corners[1])) {
                    continue;
                }
                Vec3& sum = mesh.Verts[corners[n]].Normal;
                sum = Vec3{float(double(sum.x) + c.x), float(double(sum.y) + c.y),
                           float(double(sum.z) + c.z)};
            }
        }
        for (int32_t v = 0; v < mesh.NumVerts; ++v) {
            mesh.Verts[v].Normal = unit(mesh.Verts[v].Normal);
        }
    }
}

void computeFaceNormals(SceneObject* object) {
    for (int32_t i = 0; i < object->NumMesh; ++i) {
        Mesh& mesh = object->Meshes[i];
        for (int32_t k = 0; k < mesh.NumFaces; ++k) {
            MeshFace& f = mesh.Faces[k];
            if (!validCorners(f, mesh.NumVerts)) {
                f.Normal = Vec3{0.0f, 0.0f, 0.0f};
                continue;
            }
            // (P2 - P0) x (P1 - P0): the opposite turn of the vertex normals' term.
            f.Normal =
                unit(cornerCross(mesh.Verts[f.V0].Pos, mesh.Verts[f.V2].Pos, mesh.Verts[f.V1].Pos));
        }
    }
}
