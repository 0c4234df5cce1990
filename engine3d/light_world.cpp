// The light file loader and the World record: creation and release.
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

// Widths from a label's first character to its first value; values are one character apart.
constexpr int kPositionWidth = 10;  // "Position: "
constexpr int kColorWidth = 7;      // "Color: "
constexpr int kRadiusWidth = 8;     // "Radius: "

// Finds label from the start of the text (the first occurrence anywhere counts) and reads
// count tokens: the first width characters after the label, each next one after a single
// separator.
bool readLine(const Source& src, const char* label, int width, TokenBuffer* tokens, int count) {
    int32_t at = findText(label, src.text);
    if (at < 0) return refuse(src, "no \"%s\" label", label);
    int64_t position = int64_t{at} + width;
    for (int i = 0; i < count; ++i) {
        int32_t stop = -1;
        if (!readValue(src, tokens[i], position, stop, label)) return false;
        position = int64_t{stop} + 1;
    }
    return true;
}

bool readLight(const Source& src, Light& light) {
    TokenBuffer tokens[3];
    if (!readLine(src, "Position:", kPositionWidth, tokens, 3)) return false;
    light.LightPos = Vec3{toFloat(tokens[0]), toFloat(tokens[1]), toFloat(tokens[2])};
    std::printf("LightPos:: x : %f y : %f z : %f\n", light.LightPos.x, light.LightPos.y,
                light.LightPos.z);
    if (!readLine(src, "Color:", kColorWidth, tokens, 3)) return false;
    // The integer is taken as unsigned, so -1 reads as 4294967295; nothing is clamped.
    for (int c = 0; c < 3; ++c) {
        light.LightColor[c] = float(double(static_cast<uint32_t>(toInt(tokens[c]))) / 255.0);
    }
    std::printf("LightColor:: r : %f g : %f b : %f\n", light.LightColor[0], light.LightColor[1],
                light.LightColor[2]);
    if (!readLine(src, "Radius:", kRadiusWidth, tokens, 1)) return false;
    light.Radius = toInt(tokens[0]);
    std::printf("LightZero = %d\n", light.Radius);
    return true;
}

}  // namespace

Light* loadLightFromText(const Text& text, const char* path) {
    Source src{text, "loadLight", path};
    auto* light = new Light();
    if (!text.bytes || !readLight(src, *light)) {
        delete light;
        return nullptr;
    }
    return light;
}

Light* loadLight(const char* path) {
    Text text = readTextFile(path);
    if (!text.bytes) return nullptr;
    Light* light = loadLightFromText(text, path);
    releaseText(text);
    return light;
}

World* createWorld(int32_t numObj, int32_t numLight) {
    if (numObj < 0 || numLight < 0) return nullptr;
    auto* world = new World();
    // The slots start zeroed: an object with no meshes draws nothing and a light of colour 0
    // adds nothing, so a slot the show leaves empty is harmless.
    world->Objects = new SceneObject[numObj]();
    world->Lights = new Light[numLight]();
    world->NumLight = numLight;
    world->NumObj = numObj;
    matIdentity(&world->WorldMatA);
    matIdentity(&world->WorldMatB);
    matIdentity(&world->WorldMatC);
    world->Eye = Vec3{0.0f, 0.0f, 1.0f};
    return world;
}

void FreeWorld(World* world) {
    if (!world) return;
    std::printf("FreeWorld::\nNumObj = %d\nNumLight = %d\n", world->NumObj, world->NumLight);
    for (int32_t i = 0; i < world->NumObj; ++i)
        releaseSceneObject(&world->Objects[i]);
    for (int32_t i = 0; i < world->NumLight; ++i)
        clearLight(&world->Lights[i]);
    world->NumLight = 0;
    world->NumObj = 0;
    world->Eye = Vec3{0.0f, 0.0f, 0.0f};
    delete[] world->Objects;
    delete[] world->Lights;
    world->Objects = nullptr;
    world->Lights = nullptr;
}

void releaseSceneObject(SceneObject* object) {
    for (int32_t i = 0; i < object->NumMesh; ++i) {
        Mesh& mesh = object->Meshes[i];
        delete[] mesh.Verts;
        delete[] mesh.XVerts;
        delete[] mesh.Faces;
        delete[] mesh.ScreenVerts;
        delete[] mesh.LitMarks;
        mesh = Mesh{};
    }
    delete[] object->Materials;
    delete[] object->Meshes;
    object->Materials = nullptr;
    object->Meshes = nullptr;
    object->NumMesh = 0;
    object->NumMat = 0;
}

void clearLight(Light* light) {
    *light = Light{};
}
